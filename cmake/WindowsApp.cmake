# mtsrescue_windows_app(target DESCRIPTION text [GUI] [ADMIN]): icon and version resources for a
# Windows executable; GUI makes it a window program (no console), ADMIN embeds the manifest that
# asks for administrator rights (raw disks need them). Does nothing on other systems.
function(mtsrescue_windows_app target)
  cmake_parse_arguments(PARSE_ARGV 1 app "GUI;ADMIN" "DESCRIPTION" "")
  if(NOT WIN32)
    return()
  endif()
  get_target_property(MTSRESCUE_APP_NAME ${target} OUTPUT_NAME)
  if(NOT MTSRESCUE_APP_NAME)
    set(MTSRESCUE_APP_NAME ${target})
  endif()
  set(MTSRESCUE_APP_DESCRIPTION "${app_DESCRIPTION}")
  set(MTSRESCUE_APP_ICON ${PROJECT_SOURCE_DIR}/ui/mtsrescue.ico)
  set(MTSRESCUE_APP_MANIFEST ${PROJECT_SOURCE_DIR}/ui/mtsrescue.manifest)
  # MSVC's linker writes a manifest of its own and merges .manifest sources into it; the resource
  # compilers of MinGW and clang need it embedded through the .rc.
  set(MTSRESCUE_APP_EMBED_MANIFEST 0)
  if(app_ADMIN AND NOT MSVC)
    set(MTSRESCUE_APP_EMBED_MANIFEST 1)
  endif()
  configure_file(${PROJECT_SOURCE_DIR}/ui/mtsrescue.rc.in ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
  if(app_ADMIN AND MSVC)
    target_sources(${target} PRIVATE ${MTSRESCUE_APP_MANIFEST})
    # Otherwise the linker's own asInvoker entry clashes with requireAdministrator when merging.
    target_link_options(${target} PRIVATE /MANIFESTUAC:NO)
  endif()
  if(app_GUI)
    set_target_properties(${target} PROPERTIES WIN32_EXECUTABLE ON)
  endif()
endfunction()
