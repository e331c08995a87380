// Drawing the two models as wireframes.
#include "viewer.h"

void drawModels() {}
