# The Debian package, built by CPack (scripts/package): the program folder under /opt/velmora,
# launchers in /usr/bin, and the desktop entry, icons, AppStream entry, manual page and
# copyright under /usr/share. Included after every folder, so it sees which programs exist.

set(VELMORA_PACKAGE_DIR ${CMAKE_BINARY_DIR}/package)
set(program_folder opt/velmora)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# The program folder, laid out as build/app/ is (minus the files the program writes).
install(TARGETS velmora libm9s updater RUNTIME DESTINATION ${program_folder})
set(launchers velmora)
if(TARGET velmora-cli)
  install(TARGETS velmora-cli RUNTIME DESTINATION ${program_folder})
  list(APPEND launchers velmora-cli)
endif()
set(excluded)
foreach(pattern ${VELMORA_NOT_IN_APP_FOLDER})
  list(APPEND excluded PATTERN ${pattern} EXCLUDE)
endforeach()
install(DIRECTORY ${CMAKE_SOURCE_DIR}/data/ DESTINATION ${program_folder} ${excluded})

# /usr/bin: small launchers, not links, so that an unpacked copy runs as well.
foreach(program ${launchers})
  set(PROGRAM ${program})
  configure_file(${CMAKE_SOURCE_DIR}/cmake/package/launcher.sh.in ${VELMORA_PACKAGE_DIR}/bin/${program} @ONLY)
  install(PROGRAMS ${VELMORA_PACKAGE_DIR}/bin/${program} DESTINATION usr/bin)
endforeach()

# The desktop: menu entry, icons, software-centre entry.
install(FILES ${CMAKE_SOURCE_DIR}/data/${VELMORA_APP_ID}.desktop DESTINATION usr/share/applications)
install(FILES ${CMAKE_SOURCE_DIR}/data/${VELMORA_APP_ID}.metainfo.xml DESTINATION usr/share/metainfo)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/data/icons/hicolor DESTINATION usr/share/icons)

# Manual pages and the change log are compressed without a time stamp, as Debian asks.
set(compressed)
function(velmora_gzip source target)
  add_custom_command(OUTPUT ${target}
    COMMAND gzip -9nc ${source} > ${target}
    DEPENDS ${source}
    VERBATIM)
  set(compressed ${compressed} ${target} PARENT_SCOPE)
endfunction()
foreach(program ${launchers})
  if(EXISTS ${CMAKE_SOURCE_DIR}/cmake/package/${program}.1)
    velmora_gzip(${CMAKE_SOURCE_DIR}/cmake/package/${program}.1 ${VELMORA_PACKAGE_DIR}/man/${program}.1.gz)
    install(FILES ${VELMORA_PACKAGE_DIR}/man/${program}.1.gz DESTINATION usr/share/man/man1)
  endif()
endforeach()
velmora_gzip(${CMAKE_SOURCE_DIR}/cmake/package/changelog ${VELMORA_PACKAGE_DIR}/doc/changelog.gz)
file(MAKE_DIRECTORY ${VELMORA_PACKAGE_DIR}/man ${VELMORA_PACKAGE_DIR}/doc)
add_custom_target(packagefiles ALL DEPENDS ${compressed})
install(FILES ${VELMORA_PACKAGE_DIR}/doc/changelog.gz ${CMAKE_SOURCE_DIR}/cmake/package/copyright
        DESTINATION usr/share/doc/velmora)
install(FILES ${CMAKE_SOURCE_DIR}/cmake/package/lintian-overrides
        DESTINATION usr/share/lintian/overrides RENAME velmora)

# The change log's newest entry must name the version being packaged.
file(STRINGS ${CMAKE_SOURCE_DIR}/cmake/package/changelog newest LIMIT_COUNT 1)
if(NOT newest MATCHES "^velmora \\(${PROJECT_VERSION}\\)")
  message(FATAL_ERROR "cmake/package/changelog: the newest entry is not for version ${PROJECT_VERSION}")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT "Velmora developers <support@velmora.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "batch converter for video and audio files")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.velmora.example/")
# The body; CPack puts the summary above it as the synopsis line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Velmora MP4 Converter converts many video and audio files in one go: collect
them in the job list, pick an output format from the catalogue of profiles
(MP4, AVI, WMV, FLV, 3GP, MPEG, DVD, MKV, WebM, Ogg and audio formats), adjust
bit rate, frame rate, size and sound, optionally give each file a start time
and a duration, and convert. The conversion itself is done by FFmpeg.
.
English and Simplified Chinese editions.")
# Libraries come from the binaries themselves; ffmpeg is a program the encoder starts.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "ffmpeg")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, fonts-noto-cjk")
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS ${CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS})
include(CPack)
