# Deployment data: where a build of the installer reports to and which mirrors
# it downloads from. The defaults describe the local demo deployment on loopback.
set(KORVEL_WEB_HOST "www.korvel.example" CACHE STRING "Vendor web host (finish and information pages)")
set(KORVEL_API_HOST "127.0.0.1:18090" CACHE STRING "Vendor API host (status reports and log upload)")
set(KORVEL_CDN_MARKER_DOMAIN "127.0.0.99" CACHE STRING "First CDN host marker: the CDN provider's domain suffix")
set(KORVEL_CDN_MARKER_PREFIX "kcdn." CACHE STRING "Second CDN host marker: a host-name prefix ending in '.'")
set(KORVEL_DOWNLOAD_CONFIG_X86 "demo" CACHE STRING "Built-in download configuration 501 (a file; demo: the generated demo deployment)")
set(KORVEL_DOWNLOAD_CONFIG_X64 "demo" CACHE STRING "Built-in download configuration 502 (a file; demo: the generated demo deployment)")
set(KORVEL_RELEASE_TEXT_X86 "${CMAKE_SOURCE_DIR}/resources/config/release_x86.txt" CACHE FILEPATH "Built-in release text 503")
set(KORVEL_RELEASE_TEXT_X64 "${CMAKE_SOURCE_DIR}/resources/config/release_x64.txt" CACHE FILEPATH "Built-in release text 504")

set(KORVEL_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_SOURCE_DIR}/cmake/deployment.h.in ${KORVEL_GENERATED_DIR}/deployment.h @ONLY)
add_library(korvel_deployment INTERFACE)
target_include_directories(korvel_deployment INTERFACE ${KORVEL_GENERATED_DIR})
