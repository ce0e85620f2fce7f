# The program's package: lorvane-<version>-win64.zip with lorvane.exe,
# libspotify.dll and README.md, which is all a user needs.
#
#   cmake --build build/windows --target package
#
# Only the Windows build makes a package; the native build has no program.
if(NOT WIN32 OR NOT TARGET lorvane)
  return()
endif()

install(TARGETS lorvane RUNTIME DESTINATION . COMPONENT program)
install(FILES $<TARGET_FILE:spotify> ${PROJECT_SOURCE_DIR}/README.md DESTINATION . COMPONENT program)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME lorvane)
set(CPACK_PACKAGE_VENDOR "Lorvane")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME lorvane-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_COMPONENTS_ALL program)
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
include(CPack)
