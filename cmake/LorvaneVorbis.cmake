# Ogg Vorbis for the library: the reference decoder, libvorbisfile, over
# libvorbis and libogg. Natively from the system (Debian: libvorbis-dev,
# through pkg-config); for Windows from the static libraries that
# scripts/bootstrap cross-builds from Debian's source packages into
# LORVANE_VORBIS_PREFIX. Defines lorvane::vorbisfile and, for the tests that
# make Ogg files, lorvane::vorbisenc.
if(TARGET lorvane::vorbisfile)
  return()
endif()

if(WIN32)
  set(LORVANE_VORBIS_PREFIX ${PROJECT_SOURCE_DIR}/build/deps/mingw-w64
      CACHE PATH "Prefix holding the Windows build's static libogg and libvorbis")
  set(vorbis_libs vorbisenc vorbisfile vorbis ogg)
  foreach(lib ${vorbis_libs})
    if(MSVC)
      set(vorbis_${lib} ${LORVANE_VORBIS_PREFIX}/lib/${lib}.lib)
      if(NOT EXISTS ${vorbis_${lib}})
        set(vorbis_${lib} ${LORVANE_VORBIS_PREFIX}/lib/lib${lib}.a)
      endif()
    else()
      set(vorbis_${lib} ${LORVANE_VORBIS_PREFIX}/lib/lib${lib}.a)
    endif()
    if(NOT EXISTS ${vorbis_${lib}})
      message(FATAL_ERROR "${vorbis_${lib}} not found: run scripts/bootstrap, which builds "
                          "libogg and libvorbis for Windows into ${LORVANE_VORBIS_PREFIX} "
                          "(or set LORVANE_VORBIS_PREFIX to a prefix that holds them)")
    endif()
  endforeach()
  foreach(lib ${vorbis_libs})
    add_library(lorvane_${lib} STATIC IMPORTED GLOBAL)
    set_target_properties(lorvane_${lib} PROPERTIES IMPORTED_LOCATION ${vorbis_${lib}}
                          INTERFACE_INCLUDE_DIRECTORIES ${LORVANE_VORBIS_PREFIX}/include)
  endforeach()
  set_property(TARGET lorvane_vorbis PROPERTY INTERFACE_LINK_LIBRARIES lorvane_ogg)
  set_property(TARGET lorvane_vorbisfile PROPERTY INTERFACE_LINK_LIBRARIES lorvane_vorbis)
  set_property(TARGET lorvane_vorbisenc PROPERTY INTERFACE_LINK_LIBRARIES lorvane_vorbis)
  add_library(lorvane::vorbisfile ALIAS lorvane_vorbisfile)
  add_library(lorvane::vorbisenc ALIAS lorvane_vorbisenc)
else()
  find_package(PkgConfig)
  if(PkgConfig_FOUND)
    pkg_check_modules(LORVANE_VORBISFILE IMPORTED_TARGET GLOBAL vorbisfile vorbis ogg)
    pkg_check_modules(LORVANE_VORBISENC IMPORTED_TARGET GLOBAL vorbisenc vorbis ogg)
  endif()
  if(NOT LORVANE_VORBISFILE_FOUND OR NOT LORVANE_VORBISENC_FOUND)
    message(FATAL_ERROR "libvorbisfile not found: run scripts/bootstrap (libvorbis-dev)")
  endif()
  add_library(lorvane::vorbisfile ALIAS PkgConfig::LORVANE_VORBISFILE)
  add_library(lorvane::vorbisenc ALIAS PkgConfig::LORVANE_VORBISENC)
endif()
