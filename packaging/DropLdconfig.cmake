# Run by CPack after it has made the Debian package (CPACK_POST_BUILD_SCRIPTS).
#
# CPack gives every package with a shared object below /usr/lib maintainer scripts that run
# ldconfig. TAVRO's two decoder libraries lie in its own program directory and are opened by
# their path; the linker cache never holds them, so the scripts only cost every install and
# removal a cache rebuild (and lintian warns about them). The package is taken apart and put
# together again without those two scripts; nothing else in it changes.
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  if(NOT deb MATCHES "\\.deb$")
    continue()
  endif()
  set(tree "${deb}.tree")
  file(REMOVE_RECURSE "${tree}")
  execute_process(COMMAND dpkg-deb --raw-extract "${deb}" "${tree}" RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "cannot take ${deb} apart")
  endif()
  foreach(script postinst postrm)
    set(path "${tree}/DEBIAN/${script}")
    if(EXISTS "${path}")
      file(READ "${path}" text)
      # Only a script that does nothing but call ldconfig goes.
      string(REGEX REPLACE "#![^\n]*\n|set -e\n|if \\[ \"\\$1\" = \"[a-z]+\" \\]; then\n|ldconfig\n|fi\n|[ \t\n]" "" rest "${text}")
      if(rest STREQUAL "")
        file(REMOVE "${path}")
      endif()
    endif()
  endforeach()
  execute_process(COMMAND dpkg-deb --root-owner-group --build "${tree}" "${deb}"
                  OUTPUT_QUIET RESULT_VARIABLE failed)
  file(REMOVE_RECURSE "${tree}")
  if(failed)
    message(FATAL_ERROR "cannot put ${deb} together again")
  endif()
endforeach()
