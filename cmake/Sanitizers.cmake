# Address and undefined-behaviour sanitizers for the whole build (tests run under them).
if(TAVRO_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# libFuzzer targets: clang only. The instrumentation is added per target by tavro_add_fuzzer.
if(TAVRO_FUZZ AND NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "TAVRO_FUZZ needs clang (configure with CXX=clang++ CC=clang)")
endif()
