# The program and its libraries are built as Debian builds its own packages: checked string and
# memory functions where the compiler can see the sizes, a guarded stack, and every symbol bound
# at start (so the tables the loader writes can be made read-only). The sanitizer and fuzzing
# builds bring checks of their own and are left as they are.
if(NOT TAVRO_SANITIZE AND NOT TAVRO_FUZZ)
  # The checked functions need the optimiser; a debug build would only be warned.
  add_compile_options($<$<NOT:$<CONFIG:Debug>>:-D_FORTIFY_SOURCE=2> -fstack-protector-strong)
  add_link_options(LINKER:-z,relro LINKER:-z,now)
endif()
