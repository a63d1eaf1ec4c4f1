# Installing the modules and their public API for other programs: the shared objects, the
# headers of the exported names, a pkg-config file per module and a CMake package.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(KV_PUBLIC_HEADERS
  mpeg4dec.h yuv2rgb.h motion_detect.h ximage.h ximage_types.h xfile.h xiofile.h xmemfile.h xcanvas.h)
list(TRANSFORM KV_PUBLIC_HEADERS PREPEND ${CMAKE_SOURCE_DIR}/include/)
install(FILES ${KV_PUBLIC_HEADERS} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kavaro-mensilo)
install(FILES ${CMAKE_SOURCE_DIR}/include/g726.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kavaro-mensilo)

if(TARGET Kavaro AND TARGET Mensilo)
  install(TARGETS Kavaro Mensilo EXPORT KavaroMensiloTargets
          LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
          INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kavaro-mensilo)
  install(EXPORT KavaroMensiloTargets NAMESPACE KavaroMensilo::
          DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/KavaroMensilo)
  file(WRITE ${CMAKE_BINARY_DIR}/KavaroMensiloConfig.cmake
       "include(\${CMAKE_CURRENT_LIST_DIR}/KavaroMensiloTargets.cmake)\n")
  write_basic_package_version_file(${CMAKE_BINARY_DIR}/KavaroMensiloConfigVersion.cmake
                                   COMPATIBILITY SameMajorVersion)
  install(FILES ${CMAKE_BINARY_DIR}/KavaroMensiloConfig.cmake ${CMAKE_BINARY_DIR}/KavaroMensiloConfigVersion.cmake
          DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/KavaroMensilo)

  # The pkg-config files find the prefix from where they lie, so they stay right when the
  # tree is installed with --prefix or moved. Folders given as absolute paths stay absolute.
  file(RELATIVE_PATH KV_PC_PREFIX "/root/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/root")
  set(KV_PC_PREFIX "\${pcfiledir}/${KV_PC_PREFIX}")
  string(REGEX REPLACE "/$" "" KV_PC_PREFIX "${KV_PC_PREFIX}")
  foreach(dir LIBDIR INCLUDEDIR)
    if(IS_ABSOLUTE "${CMAKE_INSTALL_${dir}}")
      set(KV_PC_${dir} "${CMAKE_INSTALL_${dir}}")
    else()
      set(KV_PC_${dir} "\${prefix}/${CMAKE_INSTALL_${dir}}")
    endif()
  endforeach()
  if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
    set(KV_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
  endif()
  foreach(module Kavaro Mensilo)
    set(KV_PC_MODULE ${module})
    configure_file(${CMAKE_SOURCE_DIR}/cmake/module.pc.in ${CMAKE_BINARY_DIR}/${module}.pc @ONLY)
    install(FILES ${CMAKE_BINARY_DIR}/${module}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
  endforeach()
endif()
