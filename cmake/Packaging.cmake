# What `cpack` makes: the settings every package shares, then each system's own (a Debian package
# on Linux, a zip and an installer for Windows), each in a file of its own.
set(CPACK_PACKAGE_NAME "mtsrescue")
set(CPACK_PACKAGE_VENDOR "mtsrescue")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Recovers camcorder video (AVCHD .MTS) from cards, disks and images")
set(CPACK_PACKAGE_HOMEPAGE_URL "${MTSRESCUE_HOME_PAGE_URL}")
set(CPACK_RESOURCE_FILE_README "${PROJECT_SOURCE_DIR}/README.md")
set(CPACK_PACKAGE_CONTACT "mtsrescue maintainers <maintainers@example.com>")
set(CPACK_PACKAGE_DIRECTORY "${PROJECT_BINARY_DIR}/packages")

include(${CMAKE_CURRENT_LIST_DIR}/PackageDeb.cmake OPTIONAL)
include(${CMAKE_CURRENT_LIST_DIR}/PackageWindows.cmake OPTIONAL)
include(CPack)
