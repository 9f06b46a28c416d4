# The layers' rule: Qt Widgets and xcb belong to the desktop
# (platform/desktop/) and to the program on it (app/) alone, so that the
# model, the headless program and the snapshot tool run with neither.
#
# Included from the top-level CMakeLists once every target exists, it checks
# the link graph at configure time and adds a build step that checks the
# includes of the folders below the desktop whenever one of their files
# changes. Run with cmake -P, it is that step.

if(CMAKE_SCRIPT_MODE_FILE)
  # -DWIDGETS_DIR=<QtWidgets include dir> -DSTAMP=<file> -DSOURCES=<files>
  cmake_minimum_required(VERSION 3.25)
  file(GLOB widgetHeaders RELATIVE ${WIDGETS_DIR} ${WIDGETS_DIR}/Q*)
  set(faults "")
  foreach(source IN LISTS SOURCES)
    file(STRINGS ${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*<")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[^<]*<([^>]*)>.*$" "\\1" header "${line}")
      string(REGEX REPLACE "^QtWidgets/" "" widgetName "${header}")
      if(header MATCHES "^xcb/" OR header MATCHES "^QtWidgets/" OR widgetName IN_LIST widgetHeaders)
        string(APPEND faults "\n  ${source}: <${header}>")
      endif()
    endforeach()
  endforeach()
  if(faults)
    message(FATAL_ERROR "Qt Widgets and xcb are the desktop's alone (platform/desktop/, app/):${faults}")
  endif()
  file(TOUCH ${STAMP})
  return()
endif()

# The libraries below the desktop: the headless program, the forms and
# everything they stand on, from the bottom up, so that a fault is named
# where it enters.
set(VANTREL_BELOW_DESKTOP vantrel_media vantrel_pixels vantrel_runtime vantrel_scene vantrel_render
    vantrel_music vantrel_forms vantrel_headless)

# Every library `target` links, directly or through others, into `out`.
function(vantrel_linked_libraries target out)
  set(seen "")
  set(pending ${target})
  while(pending)
    list(POP_FRONT pending current)
    if(NOT TARGET ${current})
      continue()
    endif()
    get_target_property(imported ${current} IMPORTED)
    get_target_property(type ${current} TYPE)
    if(imported OR type STREQUAL "INTERFACE_LIBRARY")
      get_target_property(links ${current} INTERFACE_LINK_LIBRARIES)
    else()
      get_target_property(links ${current} LINK_LIBRARIES)
    endif()
    foreach(link IN LISTS links)
      string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" link "${link}")
      if(link AND NOT link IN_LIST seen)
        list(APPEND seen ${link})
        list(APPEND pending ${link})
      endif()
    endforeach()
  endwhile()
  set(${out} ${seen} PARENT_SCOPE)
endfunction()

set(belowDesktopSources "")
foreach(library IN LISTS VANTREL_BELOW_DESKTOP)
  vantrel_linked_libraries(${library} linked)
  foreach(link IN LISTS linked)
    if(link MATCHES "^(Qt6::Widgets|vantrel_desktop|vantrel_app)$" OR link MATCHES "^PkgConfig::XCB")
      message(FATAL_ERROR "${library} links ${link}: Qt Widgets and xcb are the desktop's alone")
    endif()
  endforeach()
  get_target_property(sourceDir ${library} SOURCE_DIR)
  get_target_property(sources ${library} SOURCES)
  foreach(source IN LISTS sources)
    cmake_path(ABSOLUTE_PATH source BASE_DIRECTORY ${sourceDir})
    string(REGEX REPLACE "\\.cpp$" ".h" header ${source})
    list(APPEND belowDesktopSources ${source})
    if(EXISTS ${header})
      list(APPEND belowDesktopSources ${header})
    endif()
  endforeach()
  # Headers are no sources of their targets: every one beside them counts,
  # but in app/, which holds the desktop program too, only the headless
  # program's own.
  if(NOT sourceDir STREQUAL "${PROJECT_SOURCE_DIR}/app")
    file(GLOB headers CONFIGURE_DEPENDS ${sourceDir}/*.h)
    list(APPEND belowDesktopSources ${headers})
  endif()
endforeach()
list(REMOVE_DUPLICATES belowDesktopSources)

get_target_property(widgetsIncludeDirs Qt6::Widgets INTERFACE_INCLUDE_DIRECTORIES)
list(FILTER widgetsIncludeDirs INCLUDE REGEX "/QtWidgets$")
set(stamp ${CMAKE_BINARY_DIR}/layer_includes.stamp)
add_custom_command(OUTPUT ${stamp}
  COMMAND ${CMAKE_COMMAND} -DWIDGETS_DIR=${widgetsIncludeDirs} -DSTAMP=${stamp}
          "-DSOURCES=${belowDesktopSources}" -P ${CMAKE_CURRENT_LIST_FILE}
  DEPENDS ${belowDesktopSources} ${CMAKE_CURRENT_LIST_FILE}
  COMMENT "Checking that nothing below the desktop includes Qt Widgets or xcb"
  VERBATIM)
add_custom_target(vantrel_layer_includes ALL DEPENDS ${stamp})
