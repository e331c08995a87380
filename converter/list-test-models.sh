#!/usr/bin/env bash
# Lists the models of Debian's assimp-testmodels, one path a line, leaving
# out what is no model of its own (pictures, materials, buffers, shaders,
# notes): what the converter's model scripts run over.
set -euo pipefail
find /usr/share/assimp/models -type f 2>/dev/null |
  grep -viE '\.(jpe?g|png|bmp|tga|dds|txt|mtl|bin|material|skin|shader|gif|tiff?|pcx|ini|ktx|glsl)$' | sort
