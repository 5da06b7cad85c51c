# Every third-party library comes from Debian's packages (see ./run deps).
find_package(Threads REQUIRED)
find_package(PkgConfig REQUIRED)
find_package(OpenSSL REQUIRED COMPONENTS Crypto SSL)
find_package(SQLite3 REQUIRED)
find_package(CURL REQUIRED)
find_package(Boost 1.74 REQUIRED)
find_package(LibArchive REQUIRED)
find_package(LibLZMA REQUIRED)
pkg_check_modules(CJSON REQUIRED IMPORTED_TARGET libcjson)
pkg_check_modules(SDL2 REQUIRED IMPORTED_TARGET sdl2)
pkg_check_modules(CAIRO REQUIRED IMPORTED_TARGET cairo)
pkg_check_modules(PANGO REQUIRED IMPORTED_TARGET pangocairo)
# Debian's cpp-httplib is a compiled library: link it, and let its header see the
# feature switches the library was built with, or the class layouts differ.
find_path(HTTPLIB_INCLUDE_DIR httplib.h REQUIRED)
find_library(KORVEL_CPP_HTTPLIB_LIBRARY NAMES cpp-httplib REQUIRED)
add_library(korvel_httplib INTERFACE)
target_include_directories(korvel_httplib SYSTEM INTERFACE ${HTTPLIB_INCLUDE_DIR})
target_link_libraries(korvel_httplib INTERFACE ${KORVEL_CPP_HTTPLIB_LIBRARY} OpenSSL::SSL OpenSSL::Crypto
  Threads::Threads)
target_compile_definitions(korvel_httplib INTERFACE
  CPPHTTPLIB_OPENSSL_SUPPORT CPPHTTPLIB_ZLIB_SUPPORT CPPHTTPLIB_BROTLI_SUPPORT)
if(KORVEL_BUILD_TESTS)
  find_package(GTest REQUIRED)
endif()
