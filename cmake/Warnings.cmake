# Warnings for our own targets; third-party headers come in as system includes. The test command
# turns them into errors, so a warning cannot land unnoticed.
option(TAVRO_WERROR "Treat warnings in our own code as errors" OFF)

function(tavro_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  if(TAVRO_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE -Wshadow=local)
  else()
    target_compile_options(${target} PRIVATE -Wshadow-uncaptured-local)
  endif()
endfunction()
