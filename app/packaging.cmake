# Everything around the main window that makes Tolvik an installable desktop program:
#   - the icon, drawn at build time by tolvik-icons (PNGs of every theme size, tolvik.ico,
#     the window's tick mark) and compiled into a Qt resource;
#   - the help manual help/*.html compiled by chmcmd into bin/Help-Manual.chm;
#   - tolvik_help, the library with the help viewer (chmlib) and the pictures;
#   - Windows resources (icon, manifest, version) for tolvik.exe;
#   - install rules, the desktop entry, AppStream metainfo, the manual pages, the copyright
#     file and changelog, and the .deb package.
# Included from app/CMakeLists.txt once the targets tolvik and tolvik-convert exist.

set(TOLVIK_APP_ID "org.tolvik.Tolvik" CACHE INTERNAL "Desktop application id")
set(TOLVIK_PACKAGE_CONTACT "Tolvik developers <tolvik@users.invalid>"
    CACHE STRING "Maintainer named in the .deb package")
get_filename_component(TOLVIK_HELP_SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}/../help ABSOLUTE)
set(TOLVIK_ICON_DIR ${CMAKE_BINARY_DIR}/icons)
set(TOLVIK_ICON_SIZES 16 22 24 32 48 64 128 256)

# ---------------------------------------------------------------------------- pictures
add_executable(tolvik-icons ${CMAKE_CURRENT_LIST_DIR}/icon/make_icons.cpp
                            ${CMAKE_CURRENT_LIST_DIR}/icon/IconArt.cpp
                            ${CMAKE_CURRENT_LIST_DIR}/icon/IcoWriter.cpp)
target_link_libraries(tolvik-icons PRIVATE Qt6::Gui)
# A build tool: kept out of bin/, which holds what gets installed.
set_target_properties(tolvik-icons PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
                                              AUTOMOC OFF)

set(TOLVIK_ICON_PNGS)
foreach(size IN LISTS TOLVIK_ICON_SIZES)
    list(APPEND TOLVIK_ICON_PNGS ${TOLVIK_ICON_DIR}/tolvik-${size}.png)
endforeach()
set(TOLVIK_ICO ${TOLVIK_ICON_DIR}/tolvik.ico)
set(TOLVIK_TICK_PNG ${TOLVIK_ICON_DIR}/tick-22.png)
add_custom_command(
    OUTPUT ${TOLVIK_ICON_PNGS} ${TOLVIK_ICO} ${TOLVIK_TICK_PNG}
    # In a sanitizer build the tool is instrumented too; what Qt keeps until exit is no leak.
    COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0 $<TARGET_FILE:tolvik-icons>
            ${TOLVIK_ICON_DIR}
    DEPENDS tolvik-icons
    COMMENT "Drawing the Tolvik icons"
    VERBATIM)
add_custom_target(tolvik_icons ALL DEPENDS ${TOLVIK_ICON_PNGS} ${TOLVIK_ICO} ${TOLVIK_TICK_PNG})

# The resource file names the pictures relative to itself, so it sits beside them.
configure_file(${CMAKE_CURRENT_LIST_DIR}/resources/tolvik.qrc ${TOLVIK_ICON_DIR}/tolvik.qrc
               COPYONLY)
set(TOLVIK_QRC_CPP ${CMAKE_CURRENT_BINARY_DIR}/qrc_tolvik_pictures.cpp)
add_custom_command(
    OUTPUT ${TOLVIK_QRC_CPP}
    COMMAND Qt6::rcc --name tolvik_pictures --output ${TOLVIK_QRC_CPP}
            ${TOLVIK_ICON_DIR}/tolvik.qrc
    DEPENDS ${TOLVIK_ICON_DIR}/tolvik.qrc ${TOLVIK_ICON_PNGS} ${TOLVIK_TICK_PNG} Qt6::rcc
    COMMENT "Compiling the Tolvik pictures into a resource"
    VERBATIM)

# ---------------------------------------------------------------------------- help viewer
find_path(TOLVIK_CHM_INCLUDE_DIR chm_lib.h REQUIRED)
find_library(TOLVIK_CHM_LIBRARY chm REQUIRED)
add_library(tolvik_help STATIC ${CMAKE_CURRENT_LIST_DIR}/HelpViewer.cpp
                               ${CMAKE_CURRENT_LIST_DIR}/HelpViewer.h ${TOLVIK_QRC_CPP})
target_include_directories(tolvik_help PUBLIC ${CMAKE_CURRENT_LIST_DIR}
                                       PRIVATE ${TOLVIK_CHM_INCLUDE_DIR})
target_link_libraries(tolvik_help PUBLIC Qt6::Widgets tolvik_common PRIVATE ${TOLVIK_CHM_LIBRARY})

# ---------------------------------------------------------------------------- help manual
find_program(TOLVIK_CHMCMD chmcmd REQUIRED DOC "CHM compiler (Debian package fp-utils)")
file(GLOB TOLVIK_HELP_FILES CONFIGURE_DEPENDS ${TOLVIK_HELP_SOURCE_DIR}/*.html
     ${TOLVIK_HELP_SOURCE_DIR}/*.css ${TOLVIK_HELP_SOURCE_DIR}/*.hhp
     ${TOLVIK_HELP_SOURCE_DIR}/*.hhc ${TOLVIK_HELP_SOURCE_DIR}/images/*)
set(TOLVIK_HELP_STAGE ${CMAKE_CURRENT_BINARY_DIR}/help-stage)
set(TOLVIK_HELP_CHM ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/Help-Manual.chm)
# chmcmd reads the project from its own folder; the manual's pictures of the icon are
# copied in beside the pages first.
add_custom_command(
    OUTPUT ${TOLVIK_HELP_CHM}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${TOLVIK_HELP_STAGE}
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${TOLVIK_HELP_SOURCE_DIR} ${TOLVIK_HELP_STAGE}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${TOLVIK_HELP_STAGE}/images
    COMMAND ${CMAKE_COMMAND} -E copy ${TOLVIK_ICON_DIR}/tolvik-64.png
            ${TOLVIK_HELP_STAGE}/images/tolvik.png
    COMMAND ${CMAKE_COMMAND} -E copy ${TOLVIK_TICK_PNG} ${TOLVIK_HELP_STAGE}/images/tick.png
    COMMAND ${CMAKE_COMMAND} -E chdir ${TOLVIK_HELP_STAGE} ${TOLVIK_CHMCMD} Tolvik.hhp
    COMMAND ${CMAKE_COMMAND} -E copy ${TOLVIK_HELP_STAGE}/Help-Manual.chm ${TOLVIK_HELP_CHM}
    DEPENDS ${TOLVIK_HELP_FILES} ${TOLVIK_ICON_DIR}/tolvik-64.png ${TOLVIK_TICK_PNG}
    COMMENT "Compiling the help manual Help-Manual.chm"
    VERBATIM)
add_custom_target(tolvik_help_manual ALL DEPENDS ${TOLVIK_HELP_CHM})

# ---------------------------------------------------------------------------- Windows
if(WIN32)
    enable_language(RC)
    target_sources(tolvik PRIVATE ${CMAKE_CURRENT_LIST_DIR}/win/tolvik.rc)
    target_include_directories(tolvik PRIVATE $<$<COMPILE_LANGUAGE:RC>:${TOLVIK_ICON_DIR}>)
    set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/win/tolvik.rc PROPERTIES
        OBJECT_DEPENDS "${TOLVIK_ICO};${CMAKE_CURRENT_LIST_DIR}/win/tolvik.exe.manifest")
    add_dependencies(tolvik tolvik_icons)
    if(MSVC)
        # The resource script carries the manifest; the linker must not add a second one.
        target_link_options(tolvik PRIVATE /MANIFEST:NO)
    endif()
endif()

# ---------------------------------------------------------------------------- install
if(WIN32)
    set(TOLVIK_INSTALL_APPDIR bin)
else()
    # The executables and the manual stay side by side in a folder of their own; the
    # program finds its manual beside its executable. Links in bin/ put it on the PATH.
    set(TOLVIK_INSTALL_APPDIR lib/tolvik)
endif()
install(TARGETS tolvik tolvik-convert RUNTIME DESTINATION ${TOLVIK_INSTALL_APPDIR})
install(FILES ${TOLVIK_HELP_CHM} DESTINATION ${TOLVIK_INSTALL_APPDIR})

if(NOT WIN32)
    set(TOLVIK_LAUNCHER_DIR ${CMAKE_CURRENT_BINARY_DIR}/launchers)
    file(MAKE_DIRECTORY ${TOLVIK_LAUNCHER_DIR})
    file(RELATIVE_PATH TOLVIK_BIN_TO_APPDIR /prefix/bin /prefix/${TOLVIK_INSTALL_APPDIR})
    foreach(program tolvik tolvik-convert)
        file(CREATE_LINK ${TOLVIK_BIN_TO_APPDIR}/${program} ${TOLVIK_LAUNCHER_DIR}/${program}
             SYMBOLIC)
        install(FILES ${TOLVIK_LAUNCHER_DIR}/${program} DESTINATION bin)
    endforeach()

    install(FILES ${CMAKE_CURRENT_LIST_DIR}/linux/${TOLVIK_APP_ID}.desktop
            DESTINATION share/applications)
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/linux/${TOLVIK_APP_ID}.metainfo.xml
            DESTINATION share/metainfo)
    foreach(size IN LISTS TOLVIK_ICON_SIZES)
        install(FILES ${TOLVIK_ICON_DIR}/tolvik-${size}.png
                DESTINATION share/icons/hicolor/${size}x${size}/apps
                RENAME ${TOLVIK_APP_ID}.png)
    endforeach()

    # The manual pages (with the version filled in) and the changelog, compressed as Debian
    # keeps them, without a time stamp in the gzip header; the copyright file as it is.
    find_program(TOLVIK_GZIP gzip REQUIRED)
    set(TOLVIK_DOC_DIR ${CMAKE_CURRENT_BINARY_DIR}/doc)
    set(TOLVIK_MAN_PAGES tolvik.1 tolvik-convert.1)
    set(TOLVIK_DOC_PLAIN)
    foreach(page IN LISTS TOLVIK_MAN_PAGES)
        configure_file(${CMAKE_CURRENT_LIST_DIR}/linux/man/${page} ${TOLVIK_DOC_DIR}/${page}
                       @ONLY)
        list(APPEND TOLVIK_DOC_PLAIN ${TOLVIK_DOC_DIR}/${page})
    endforeach()
    configure_file(${CMAKE_CURRENT_LIST_DIR}/linux/changelog ${TOLVIK_DOC_DIR}/changelog COPYONLY)
    list(APPEND TOLVIK_DOC_PLAIN ${TOLVIK_DOC_DIR}/changelog)
    list(TRANSFORM TOLVIK_DOC_PLAIN APPEND .gz OUTPUT_VARIABLE TOLVIK_DOC_GZ)
    add_custom_command(
        OUTPUT ${TOLVIK_DOC_GZ}
        COMMAND ${TOLVIK_GZIP} -9 --no-name --keep --force ${TOLVIK_DOC_PLAIN}
        DEPENDS ${TOLVIK_DOC_PLAIN}
        COMMENT "Compressing the manual pages and the changelog"
        VERBATIM)
    add_custom_target(tolvik_docs ALL DEPENDS ${TOLVIK_DOC_GZ})
    foreach(page IN LISTS TOLVIK_MAN_PAGES)
        install(FILES ${TOLVIK_DOC_DIR}/${page}.gz DESTINATION share/man/man1)
    endforeach()
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/linux/copyright ${TOLVIK_DOC_DIR}/changelog.gz
            DESTINATION share/doc/tolvik)
endif()

# ---------------------------------------------------------------------------- package
set(CPACK_PACKAGE_NAME tolvik)
set(CPACK_PACKAGE_VENDOR "Tolvik")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${TOLVIK_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Convert saved mail messages (.eml) into mbox mailboxes")
# Lines of the long description stay under 80 characters, as Debian's tools ask.
set(CPACK_PACKAGE_DESCRIPTION
    "Tolvik turns mail messages saved as single .eml files, as Windows Mail,
Outlook Express and many other programs save them, into mailbox files in
mbox format, one mailbox for each folder of messages, ready to be imported
into Mac Mail, Thunderbird and other mail programs.
It comes as a desktop program and as the command-line tool tolvik-convert.")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The shared libraries the two programs link, and Qt's platform plugins, which the window
# needs at run time but links only dynamically. Qt's GUI library brings libOpenGL and
# libGLX onto the link line, and builds without --as-needed keep them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libc6 (>= 2.34), libstdc++6 (>= 12), libgcc-s1, libqt6core6 (>= 6.4), \
libqt6gui6 (>= 6.4), libqt6widgets6 (>= 6.4), qt6-qpa-plugins (>= 6.4), \
libgmime-3.0-0 (>= 3.2), libglib2.0-0 (>= 2.74), libchm1 (>= 2:0.40), libopengl0, libglx0")
include(CPack)
