# The demo deployment: when no download configurations are given, the build
# makes a small demo product (payload, both setup packages) and
# configurations whose mirrors are local, and embeds those. Included by
# resources/CMakeLists.txt before the configurations are embedded.
set(KORVEL_DEMO_MIRRORS
  "127.0.0.11:18081;127.0.0.12:18082;127.0.0.13:18083;127.0.0.14:18084;127.0.0.15:18085;127.0.0.16:18086"
  CACHE STRING "Ordinary mirrors of the demo deployment (ADDR:PORT, one loopback address each)")
set(KORVEL_DEMO_CDN "${KORVEL_CDN_MARKER_DOMAIN}:18089" CACHE STRING
  "CDN mirror of the demo deployment; its host carries the CDN marker")
set(KORVEL_DEMO_VERSION "12.0.0.2")
set(KORVEL_DEMO_DIR ${CMAKE_BINARY_DIR}/demo-deployment)

function(korvel_demo_use_generated var)
  if(NOT ${var} OR ${var} STREQUAL "demo" OR NOT EXISTS "${${var}}")
    set(${var} demo PARENT_SCOPE)
  endif()
endfunction()
korvel_demo_use_generated(KORVEL_DOWNLOAD_CONFIG_X86)
korvel_demo_use_generated(KORVEL_DOWNLOAD_CONFIG_X64)

if(KORVEL_DOWNLOAD_CONFIG_X86 STREQUAL "demo" OR KORVEL_DOWNLOAD_CONFIG_X64 STREQUAL "demo")
  set(d ${KORVEL_DEMO_DIR})
  # Tools built with sanitizers must not fail the build over library caches.
  set(run ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0)
  add_custom_command(
    OUTPUT ${d}/icons/Korvel.png ${d}/icons/KorvelMini.ico ${d}/icons/KorvelMini64.ico
    COMMAND ${CMAKE_COMMAND} -E make_directory ${d}/icons
    COMMAND ${run} $<TARGET_FILE:korvel-art> --payload-icons ${d}/icons
    DEPENDS korvel-art
    COMMENT "Demo product: icons" VERBATIM)
  add_custom_command(
    OUTPUT ${d}/payload.stamp
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${d}/payload
    COMMAND ${run} $<TARGET_FILE:korvel-demo-payload> ${d}/payload
            $<TARGET_FILE:korvel-demo-app> ${d}/icons
    COMMAND ${CMAKE_COMMAND} -E touch ${d}/payload.stamp
    DEPENDS korvel-demo-payload korvel-demo-app ${d}/icons/Korvel.png
    COMMENT "Demo product: payload" VERBATIM)

  foreach(arch x86 x64)
    if(arch STREQUAL "x64")
      set(name Korvel12_x64)
      set(short "Korvel12 (x64)")
      set(flag --x64)
    else()
      set(name Korvel12)
      set(short "Korvel12")
      set(flag)
    endif()
    set(package ${d}/packages/${name}.exe)
    add_custom_command(
      OUTPUT ${package}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${d}/packages
      COMMAND ${run} $<TARGET_FILE:korvel-pack> build --payload ${d}/payload
              --uninstaller $<TARGET_FILE:korvel-demo-app> --registry-name "Korvel 12"
              --short-name ${short} --version ${KORVEL_DEMO_VERSION} --product-name "Korvel 12"
              --release-date 2020-10-15 --web-address "http://${KORVEL_WEB_HOST}/"
              --publisher "Copyright (C) 2019-2021 Korvel Software Ltd." ${flag}
              --mtime 1602720000 -o ${package}
      DEPENDS korvel-pack ${d}/payload.stamp
      COMMENT "Demo product: ${name}.exe" VERBATIM)
    set(mirror_args)
    foreach(m ${KORVEL_DEMO_MIRRORS} ${KORVEL_DEMO_CDN})
      list(APPEND mirror_args --mirror http://${m}/download/${name}.exe)
    endforeach()
    set(config ${d}/config_${arch}.xml)
    add_custom_command(
      OUTPUT ${config}
      COMMAND ${run} $<TARGET_FILE:korvel-pack> config ${package} ${mirror_args}
              --name-prefix ${name} -o ${config}
      DEPENDS korvel-pack ${package}
      COMMENT "Demo deployment: download configuration ${arch}" VERBATIM)
    string(TOUPPER ${arch} ARCH)
    if(KORVEL_DOWNLOAD_CONFIG_${ARCH} STREQUAL "demo")
      set(KORVEL_DOWNLOAD_CONFIG_${ARCH} ${config})
    endif()
  endforeach()
  add_custom_target(korvel-demo-deployment ALL
    DEPENDS ${d}/config_x86.xml ${d}/config_x64.xml)
endif()
