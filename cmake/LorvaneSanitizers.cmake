# Sanitizers for the native build, applied to everything built (GoogleTest
# included) so that instrumented and plain code never mix.
if(LORVANE_SANITIZE)
  if(WIN32 OR MSVC)
    message(FATAL_ERROR "LORVANE_SANITIZE is for the native build")
  endif()
  add_compile_options(-fsanitize=${LORVANE_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${LORVANE_SANITIZE})
endif()
