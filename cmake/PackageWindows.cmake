# Windows packages: a portable zip (both programs, each a single statically linked file that runs
# where it is unpacked) and an NSIS installer with a Start-menu entry and an uninstaller. The
# installer asks for administrator rights, as the window's manifest does. Both carry LICENSE.txt
# and, in licenses/, the texts of the libraries the programs are linked with (Qt, FFmpeg).
if(WIN32)
  set(CPACK_GENERATOR "ZIP;NSIS")
  set(CPACK_SYSTEM_NAME "win64")
  set(CPACK_PACKAGE_INSTALL_DIRECTORY "mtsrescue")
  set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "mtsrescue")
  # Start-menu entry: executable (in the install folder's bin) and its caption.
  set(CPACK_PACKAGE_EXECUTABLES "mtsrescue" "mtsrescue")
  set(CPACK_NSIS_PACKAGE_NAME "mtsrescue")
  set(CPACK_NSIS_DISPLAY_NAME "mtsrescue")
  set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
  set(CPACK_NSIS_MUI_ICON "${PROJECT_SOURCE_DIR}/ui/mtsrescue.ico")
  set(CPACK_NSIS_MUI_UNIICON "${PROJECT_SOURCE_DIR}/ui/mtsrescue.ico")
  set(CPACK_NSIS_INSTALLED_ICON_NAME "bin\\\\mtsrescue.exe")
  set(CPACK_NSIS_URL_INFO_ABOUT "${MTSRESCUE_HOME_PAGE_URL}")
  # An older install is removed first, so that files of two versions never mix.
  set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
  # The program's licence (shown by the installer), and those of the libraries linked into it.
  set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
  install(FILES ${PROJECT_SOURCE_DIR}/licenses/THIRD-PARTY.txt ${PROJECT_SOURCE_DIR}/licenses/LGPL-3.0.txt
                ${PROJECT_SOURCE_DIR}/licenses/LGPL-2.1.txt
          DESTINATION licenses)
  set(CPACK_NSIS_MANIFEST_DPI_AWARE ON)
  # A 64-bit installer for the 64-bit programs (and one that Wine's 64-bit loader runs).
  set(CPACK_NSIS_DEFINES "Target amd64-unicode")
endif()
