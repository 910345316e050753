# Installation extras, included from the top-level CMakeLists.txt.
#
# fullstop.pc names the directories the library is installed in, with the
# prefix that `cmake --install` (or cpack) installs under: the build folder
# may be configured for /usr/local and installed with --prefix elsewhere, and
# a prefix found from the file's own place (${pcfiledir}/..) is right only
# for one depth of libdir, not for Debian's lib/<multiarch> as well as lib.
# So the file is written at install time: the version and the directories
# below the prefix now, the prefix then.  An absolute directory (given as
# -DCMAKE_INSTALL_LIBDIR=/opt/lib) is written as it is.
foreach(kind LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${kind}}")
    set(FULLSTOP_PC_${kind} "${CMAKE_INSTALL_${kind}}")
  else()
    set(FULLSTOP_PC_${kind} "\${prefix}/${CMAKE_INSTALL_${kind}}")
  endif()
endforeach()
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(fullstop_pc_destination "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
else()
  set(fullstop_pc_destination "\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig")
endif()
set(FULLSTOP_PC_PREFIX "@CMAKE_INSTALL_PREFIX@")  # filled in by the install step
configure_file(${PROJECT_SOURCE_DIR}/packaging/fullstop.pc.in packaging/fullstop.pc.in @ONLY)
install(CODE "
  configure_file(\"${CMAKE_CURRENT_BINARY_DIR}/packaging/fullstop.pc.in\"
                 \"${CMAKE_CURRENT_BINARY_DIR}/packaging/fullstop.pc\" @ONLY)
  file(INSTALL DESTINATION \"${fullstop_pc_destination}\" TYPE FILE
       FILES \"${CMAKE_CURRENT_BINARY_DIR}/packaging/fullstop.pc\")" COMPONENT dev)

# `cmake --build build --target uninstall` removes what the last
# `cmake --install build` installed, as listed in build/install_manifest.txt.
add_custom_target(uninstall
  COMMAND ${CMAKE_COMMAND} -DMANIFEST=${CMAKE_CURRENT_BINARY_DIR}/install_manifest.txt
          -P ${CMAKE_CURRENT_LIST_DIR}/uninstall.cmake
  VERBATIM)
