# A vendor's brand: one file (package/brand.ini for the sample) with the names, file stem,
# namespace, logo and version the package carries. scripts/brand.py checks it and writes what the
# build takes from it into `dir`: brand.h (for C++ and the resource compiler), brand.cmake (the
# same for CMake, read here into PINPRINT_BRAND_* variables) and logo.bmp (the About page's
# bitmap, converted from the brand's PNG). A brand it refuses stops the configuration with its
# one line, which names the key.
find_package(Python3 REQUIRED COMPONENTS Interpreter)

macro(pinprint_read_brand brand_file dir)
  execute_process(
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/scripts/brand.py configure ${brand_file}
            ${dir}
    RESULT_VARIABLE brand_status
    ERROR_VARIABLE brand_error
    ERROR_STRIP_TRAILING_WHITESPACE)
  if(NOT brand_status EQUAL 0)
    message(FATAL_ERROR "${brand_error}")
  endif()
  include(${dir}/brand.cmake)
  # A change to the brand file or its logo configures the build again.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
    ${brand_file} ${PINPRINT_BRAND_LOGO_SOURCE} ${CMAKE_SOURCE_DIR}/scripts/brand.py)
endmacro()
