# The Debian package (`cpack -G DEB`): both programs, the menu entry, the AppStream metainfo, the
# icon, both programs' man pages, the copyright file and the changelog, with dependencies worked
# out from the binaries.
if(UNIX AND NOT APPLE)
  set(deb_out ${PROJECT_BINARY_DIR}/deb)

  # The man page of mtsrescue-cli, made from its own --help and --version.
  find_program(MTSRESCUE_HELP2MAN help2man)
  if(MTSRESCUE_HELP2MAN)
    add_custom_command(
      OUTPUT ${deb_out}/mtsrescue-cli.1.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${deb_out}
      COMMAND ${MTSRESCUE_HELP2MAN} --no-info --no-discard-stderr
              "--name=recover camcorder video (AVCHD .MTS) from cards, disks and images"
              --output=${deb_out}/mtsrescue-cli.1 $<TARGET_FILE:mtsrescue-cli>
      COMMAND gzip -9nf ${deb_out}/mtsrescue-cli.1
      DEPENDS mtsrescue-cli
      VERBATIM)
    add_custom_target(mtsrescue_man ALL DEPENDS ${deb_out}/mtsrescue-cli.1.gz)
    install(FILES ${deb_out}/mtsrescue-cli.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  else()
    message(STATUS "help2man not found: the package will have no man page (apt-get install help2man)")
  endif()

  if(MTSRESCUE_BUILD_GUI)
    configure_file(${PROJECT_SOURCE_DIR}/ui/mtsrescue.desktop.in ${deb_out}/${MTSRESCUE_APP_ID}.desktop @ONLY)
    configure_file(${PROJECT_SOURCE_DIR}/ui/mtsrescue.metainfo.xml.in ${deb_out}/${MTSRESCUE_APP_ID}.metainfo.xml @ONLY)
    find_package(Python3 REQUIRED COMPONENTS Interpreter)
    add_custom_command(
      OUTPUT ${deb_out}/${MTSRESCUE_APP_ID}.png
      COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tools/make-icon.py ${deb_out}/${MTSRESCUE_APP_ID}.png
      DEPENDS ${PROJECT_SOURCE_DIR}/tools/make-icon.py
      VERBATIM)
    add_custom_target(mtsrescue_desktop_icon ALL DEPENDS ${deb_out}/${MTSRESCUE_APP_ID}.png)
    install(FILES ${deb_out}/${MTSRESCUE_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${deb_out}/${MTSRESCUE_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    install(FILES ${deb_out}/${MTSRESCUE_APP_ID}.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps)
  endif()

  # What Debian's policy asks of every package: a machine-readable copyright file and the
  # changelog in /usr/share/doc/mtsrescue, and a manual page for each program (the window's is
  # written by hand; it has no --help to make one from).
  set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
  set(MTSRESCUE_DEB_VERSION "${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}")
  configure_file(${CMAKE_CURRENT_LIST_DIR}/deb/copyright.in ${deb_out}/copyright @ONLY)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/deb/changelog.in ${deb_out}/changelog.Debian @ONLY)
  add_custom_command(
    OUTPUT ${deb_out}/changelog.Debian.gz
    COMMAND gzip -9nc ${deb_out}/changelog.Debian > ${deb_out}/changelog.Debian.gz
    DEPENDS ${deb_out}/changelog.Debian)
  add_custom_target(mtsrescue_deb_changelog ALL DEPENDS ${deb_out}/changelog.Debian.gz)
  install(FILES ${deb_out}/copyright ${deb_out}/changelog.Debian.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
  if(MTSRESCUE_BUILD_GUI)
    add_custom_command(
      OUTPUT ${deb_out}/mtsrescue.1.gz
      COMMAND gzip -9nc ${CMAKE_CURRENT_LIST_DIR}/deb/mtsrescue.1 > ${deb_out}/mtsrescue.1.gz
      DEPENDS ${CMAKE_CURRENT_LIST_DIR}/deb/mtsrescue.1)
    add_custom_target(mtsrescue_window_man ALL DEPENDS ${deb_out}/mtsrescue.1.gz)
    install(FILES ${deb_out}/mtsrescue.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()

  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # mtsrescue_<version>-<release>_<arch>.deb
  set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
  set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The window's texts need a CJK font; disks reach it without root through UDisks2 and polkit.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-zenhei | fonts-noto-cjk, udisks2")
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "ffmpeg")
  set(CPACK_STRIP_FILES ON)  # debugging symbols stay in the build
  # The first line of the field is the summary above; CPack indents these lines itself.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "mtsrescue brings back AVCHD camcorder video (.MTS files) from a memory card,
a disk or a disk image whose file system no longer leads to it, and puts
recordings that lie in pieces back together. It never writes to the source.

This package holds the window (mtsrescue), which reads disks through UDisks2
without root rights, and the command line (mtsrescue-cli).")
endif()
