# Windows packages: a portable zip (both programs, each a single statically linked file that runs
# where it is unpacked) and an NSIS installer with a Start-menu entry and an uninstaller. The
# installer asks for administrator rights, as the window's manifest does.
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
  # No licence text ships with the program; CPack's generic one would only mislead.
  set(CPACK_NSIS_IGNORE_LICENSE_PAGE ON)
  set(CPACK_NSIS_MANIFEST_DPI_AWARE ON)
  # A 64-bit installer for the 64-bit programs (and one that Wine's 64-bit loader runs).
  set(CPACK_NSIS_DEFINES "Target amd64-unicode")
endif()
