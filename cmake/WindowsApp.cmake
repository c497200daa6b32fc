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
  # The libraries inside the program whose licences travel with it (named in its version record).
  set(MTSRESCUE_APP_LIBRARIES "FFmpeg (LGPL-2.1-or-later)")
  if(app_GUI)
    set(MTSRESCUE_APP_LIBRARIES "Qt (LGPL-3.0) and FFmpeg (LGPL-2.1-or-later)")
  endif()
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

# mtsrescue_static_qt(target [TRANSLATIONS]): with a static Qt (the MinGW-w64 cross build) the
# plug-ins and Qt's own files live inside the executable. Links the offscreen platform plug-in
# beside the default one (tests and headless runs choose it with QT_QPA_PLATFORM=offscreen);
# TRANSLATIONS embeds Qt's Chinese translations and a qt.conf that points Qt at them, since no Qt
# folder travels with the program file. Does nothing with a shared Qt, whose deployment brings both.
function(mtsrescue_static_qt target)
  cmake_parse_arguments(PARSE_ARGV 1 qt "TRANSLATIONS" "" "")
  get_target_property(qt_core_type Qt6::Core TYPE)
  if(NOT qt_core_type STREQUAL "STATIC_LIBRARY")
    return()
  endif()
  qt_import_plugins(${target} INCLUDE Qt6::QOffscreenIntegrationPlugin)
  if(NOT qt_TRANSLATIONS)
    return()
  endif()
  # A cross-built Qt has no translations of its own; the host's (same version) serve.
  find_file(MTSRESCUE_QTBASE_ZH_CN_QM qtbase_zh_CN.qm
            PATHS "${QT6_INSTALL_PREFIX}/${QT6_INSTALL_TRANSLATIONS}" /usr/share/qt6/translations
            NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  if(NOT MTSRESCUE_QTBASE_ZH_CN_QM)
    message(FATAL_ERROR "qtbase_zh_CN.qm not found: install Qt's translations (Debian: qt6-translations-l10n)")
  endif()
  set(conf ${CMAKE_CURRENT_BINARY_DIR}/${target}_qt_conf/qt.conf)
  file(WRITE ${conf} "[Paths]\nTranslations=:/translations\n")
  qt_add_resources(${target} "${target}_qt_conf" PREFIX "/qt/etc" BASE ${CMAKE_CURRENT_BINARY_DIR}/${target}_qt_conf
                   FILES ${conf})
  get_filename_component(qm_folder ${MTSRESCUE_QTBASE_ZH_CN_QM} DIRECTORY)
  qt_add_resources(${target} "${target}_qt_translations" PREFIX "/translations" BASE ${qm_folder}
                   FILES ${MTSRESCUE_QTBASE_ZH_CN_QM})
endfunction()
