# The program's package: lorvane-<version>-win64.zip with lorvane.exe,
# libspotify.dll and README.md, which is all a user needs.
#
#   cmake --build build/windows --target package
#
# The zip's binaries are stripped; their debugging information stays in the
# build tree beside them (bin/lorvane.exe.debug, bin/libspotify.dll.debug),
# for a debugger pointed at a user's crash.
#
# Only the Windows build makes a package; the native build has no program.
if(NOT WIN32 OR NOT TARGET lorvane)
  return()
endif()

# The names are spelled out: an OUTPUT cannot name a target's file through a
# generator expression.
set(debug_files)
foreach(entry lorvane:lorvane.exe spotify:libspotify.dll)
  string(REPLACE ":" ";" entry ${entry})
  list(GET entry 0 target)
  list(GET entry 1 file)
  add_custom_command(OUTPUT ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${file}.debug
    COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE:${target}> ${file}.debug
    WORKING_DIRECTORY ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}
    DEPENDS ${target}
    VERBATIM)
  list(APPEND debug_files ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${file}.debug)
endforeach()
add_custom_target(debug_info ALL DEPENDS ${debug_files})

install(TARGETS lorvane RUNTIME DESTINATION . COMPONENT program)
install(TARGETS spotify RUNTIME DESTINATION . COMPONENT program
                        ARCHIVE DESTINATION lib COMPONENT development EXCLUDE_FROM_ALL)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION . COMPONENT program)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME lorvane)
set(CPACK_PACKAGE_VENDOR "Lorvane")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME lorvane-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_COMPONENTS_ALL program)
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
set(CPACK_STRIP_FILES ON)
include(CPack)
