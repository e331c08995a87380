# bsv2_sanitizer_options(TARGET OPTIONS): in a sanitizer build, gives TARGET
# AddressSanitizer's default OPTIONS ("name=value:..."), through the one
# file that holds the hook (program/sanitizer_options.cpp); in any other
# build, nothing, so that no program carries the hook. The caller says why
# the target needs its options.
function(bsv2_sanitizer_options target options)
  if(BSV2_SANITIZE)
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/program/sanitizer_options.cpp)
    target_compile_definitions(${target} PRIVATE BSV2_SANITIZER_OPTIONS="${options}")
  endif()
endfunction()
