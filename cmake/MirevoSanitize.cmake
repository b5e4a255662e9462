# The sanitizer configuration (scripts/test --sanitize): every target of the project, the tools and the
# tests included, is built with AddressSanitizer and UndefinedBehaviorSanitizer, and any report ends the
# program. Qt itself stays uninstrumented. The back-end library also carries libFuzzer's coverage
# instrumentation, so that the fuzz targets under fuzz/ can link it.
option(MIREVO_SANITIZE "Build with AddressSanitizer, UndefinedBehaviorSanitizer and the fuzz targets (clang)" OFF)

if(MIREVO_SANITIZE)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "MIREVO_SANITIZE needs clang for libFuzzer: configure with -DCMAKE_CXX_COMPILER=clang++")
  endif()
  add_compile_options(-O1 -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
