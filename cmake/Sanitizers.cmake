# Address and undefined-behaviour sanitizers for the whole build (tests run under them).
if(TAVRO_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# libFuzzer targets: clang only. Every library gets the coverage instrumentation, so that a
# fuzzer sees the parser it drives; the sanitizer runtime provides the hooks for executables
# that are not fuzzers. The fuzzer's own driver is linked in by tavro_add_fuzzer.
if(TAVRO_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "TAVRO_FUZZ needs clang (configure with CXX=clang++ CC=clang)")
  endif()
  if(NOT TAVRO_SANITIZE)
    message(FATAL_ERROR "TAVRO_FUZZ goes with TAVRO_SANITIZE=ON")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
