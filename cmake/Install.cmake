# Installation of the package: the shared library, its public headers under include/tovrin5/
# (an application includes <tovrin5/tovrin5.h>, or one header as <tovrin5/query/SybQuery.h>),
# the programs, an exported CMake package (find_package(Tovrin5) gives the
# target Tovrin5::Tovrin5) and a pkg-config file (tovrin5.pc).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(TOVRIN_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Tovrin5)

target_include_directories(Tovrin5 INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
target_compile_features(Tovrin5 INTERFACE cxx_std_20)

install(TARGETS Tovrin5 EXPORT Tovrin5Targets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES ${PROJECT_SOURCE_DIR}/include/tovrin5/tovrin5.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/tovrin5)
foreach(header IN LISTS TOVRIN_PUBLIC_HEADERS)
  get_filename_component(subsystem ${header} DIRECTORY)
  install(FILES ${PROJECT_SOURCE_DIR}/${header} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/tovrin5/${subsystem})
endforeach()

install(EXPORT Tovrin5Targets NAMESPACE Tovrin5:: DESTINATION ${TOVRIN_INSTALL_CMAKEDIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/Tovrin5Config.cmake.in
  ${PROJECT_BINARY_DIR}/Tovrin5Config.cmake INSTALL_DESTINATION ${TOVRIN_INSTALL_CMAKEDIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/Tovrin5ConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/Tovrin5Config.cmake ${PROJECT_BINARY_DIR}/Tovrin5ConfigVersion.cmake
  DESTINATION ${TOVRIN_INSTALL_CMAKEDIR})

# pkg-config reads paths relative to its own file so that the installed tree can move.
file(RELATIVE_PATH TOVRIN_PC_PREFIX_FROM_PCDIR /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" TOVRIN_PC_PREFIX_FROM_PCDIR "${TOVRIN_PC_PREFIX_FROM_PCDIR}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/tovrin5.pc.in ${PROJECT_BINARY_DIR}/tovrin5.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/tovrin5.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
