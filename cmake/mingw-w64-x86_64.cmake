# Toolchain: 64-bit Windows executables from Linux with MinGW-w64 (Debian's g++-mingw-w64-x86-64),
# statically linked so that they run on a bare Windows; tests run through Wine when it is installed.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MTSRESCUE_MINGW_TRIPLE x86_64-w64-mingw32)
# The -posix variants use the POSIX thread model, which std::thread and std::mutex need with GCC 12.
find_program(CMAKE_C_COMPILER NAMES ${MTSRESCUE_MINGW_TRIPLE}-gcc-posix ${MTSRESCUE_MINGW_TRIPLE}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${MTSRESCUE_MINGW_TRIPLE}-g++-posix ${MTSRESCUE_MINGW_TRIPLE}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${MTSRESCUE_MINGW_TRIPLE}-windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${MTSRESCUE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# A Qt built for MinGW-w64 (tools/build-qt-windows.sh makes a static one): its folder is searched
# like the MinGW sysroot, and its moc, rcc and uic are the host Qt's of the same version.
set(MTSRESCUE_WINDOWS_QT "" CACHE PATH "Qt built for MinGW-w64, for the window and its tests")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES MTSRESCUE_WINDOWS_QT)
if(MTSRESCUE_WINDOWS_QT)
  list(APPEND CMAKE_FIND_ROOT_PATH ${MTSRESCUE_WINDOWS_QT})
  list(APPEND CMAKE_PREFIX_PATH ${MTSRESCUE_WINDOWS_QT})
  set(QT_HOST_PATH /usr CACHE PATH "Host Qt whose tools the cross build runs")
  set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "Its CMake packages")
endif()

# FFmpeg's libraries built for MinGW-w64 (tools/build-ffmpeg-windows.sh makes static ones), for the
# thumbnails. pkg-config is pointed there and nowhere else: the host's own FFmpeg is Linux's.
set(MTSRESCUE_WINDOWS_FFMPEG "" CACHE PATH "FFmpeg built for MinGW-w64, for the thumbnails")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES MTSRESCUE_WINDOWS_FFMPEG)
if(MTSRESCUE_WINDOWS_FFMPEG)
  set(ENV{PKG_CONFIG_LIBDIR} ${MTSRESCUE_WINDOWS_FFMPEG}/lib/pkgconfig)
else()
  set(ENV{PKG_CONFIG_LIBDIR} ${CMAKE_CURRENT_LIST_DIR}/no-windows-ffmpeg)
endif()
set(ENV{PKG_CONFIG_PATH} "")

# No MinGW runtime DLL (libstdc++, libgcc, libwinpthread) needs to travel with the .exe.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Debian's wine64 package keeps the 64-bit loader off the PATH.
find_program(MTSRESCUE_WINE64 NAMES wine64 PATHS /usr/lib/wine /usr/lib/x86_64-linux-gnu/wine /opt/wine-stable/bin
             NO_CMAKE_FIND_ROOT_PATH)
if(MTSRESCUE_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${MTSRESCUE_WINE64})
endif()
