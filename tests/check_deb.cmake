# Builds the .deb with CPack and checks what it would install.
execute_process(COMMAND cpack -G DEB WORKING_DIRECTORY ${BUILD_DIR} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cpack failed:\n${out}")
endif()
file(GLOB debs ${BUILD_DIR}/pesolane_*.deb)
list(LENGTH debs count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "expected one package, found: ${debs}")
endif()
execute_process(COMMAND dpkg-deb -c ${debs} OUTPUT_VARIABLE contents RESULT_VARIABLE rc)
execute_process(COMMAND dpkg-deb -f ${debs} Depends OUTPUT_VARIABLE depends)
foreach(path
    ./usr/bin/pesolane
    ./usr/share/applications/org.pesolane.Pesolane.desktop
    ./usr/share/icons/hicolor/scalable/apps/org.pesolane.Pesolane.svg
    ./usr/share/metainfo/org.pesolane.Pesolane.metainfo.xml)
  string(FIND "${contents}" "${path}" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "${path} is missing from ${debs}:\n${contents}")
  endif()
endforeach()
foreach(dep libqt6widgets6 qt6-qpa-plugins fonts-liberation)
  string(FIND "${depends}" "${dep}" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "the package does not depend on ${dep}: ${depends}")
  endif()
endforeach()
message(STATUS "${debs}: program, desktop entry, icon and metainfo present; depends on ${depends}")
