# SPDX-License-Identifier: GPL-3.0-or-later
# QUILLON_SANITIZE: everything built with AddressSanitizer and UndefinedBehaviorSanitizer, any
# report fatal. QUILLON_FUZZ (clang only): the libFuzzer targets of tests/fuzz as well, with the
# whole program instrumented for them; QUILLON_SANITIZE is then on unless turned off, which makes
# long fuzz runs several times faster (replay what they found in a sanitizer build). Neither is
# for the normal build.
option(QUILLON_FUZZ "Build the libFuzzer targets (clang)" OFF)
option(QUILLON_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" ${QUILLON_FUZZ})

if(QUILLON_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "QUILLON_FUZZ needs clang (for example -DCMAKE_CXX_COMPILER=clang++)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

if(QUILLON_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
endif()
