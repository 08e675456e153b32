# Installs the build into a scratch prefix and checks that a desktop finds Vanthe: the two
# programs with their man pages, the completion, the menu entry with its icon, the metadata
# and the .enx file type.
# cmake -DBUILD_DIR=... -DPREFIX=... -P check_install.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed")
endif()
set(expected
    bin/vanthe
    bin/vanthe-cli
    share/man/man1/vanthe.1.gz
    share/man/man1/vanthe-cli.1.gz
    share/bash-completion/completions/vanthe-cli
    share/applications/org.vanthe.Vanthe.desktop
    share/metainfo/org.vanthe.Vanthe.metainfo.xml
    share/mime/packages/org.vanthe.Vanthe.xml
    share/icons/hicolor/scalable/apps/org.vanthe.Vanthe.svg
    share/icons/hicolor/48x48/apps/org.vanthe.Vanthe.png
    share/icons/hicolor/256x256/apps/org.vanthe.Vanthe.png
    share/icons/hicolor/scalable/mimetypes/application-x-vanthe-encrypted.svg
    share/icons/hicolor/48x48/mimetypes/application-x-vanthe-encrypted.png)
foreach(path IN LISTS expected)
    if(NOT EXISTS "${PREFIX}/${path}")
        message(FATAL_ERROR "not installed: ${path}")
    endif()
endforeach()
# Fails with the message unless the installed file holds the text.
function(expect_in file text message)
    file(READ "${PREFIX}/${file}" content)
    string(FIND "${content}" "${text}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "${message}")
    endif()
endfunction()

foreach(line "Exec=vanthe %f" "Icon=org.vanthe.Vanthe" "Type=Application" "StartupWMClass=vanthe")
    expect_in(share/applications/org.vanthe.Vanthe.desktop "${line}"
              "the menu entry lacks '${line}'")
endforeach()
# The databases of the prefix know the type, its icon and the program that opens it.
find_program(update_mime update-mime-database)
if(update_mime)
    if(NOT EXISTS "${PREFIX}/share/mime/application/x-vanthe-encrypted.xml")
        message(FATAL_ERROR "the MIME database of the prefix lacks the .enx type")
    endif()
    expect_in(share/mime/globs2 "application/x-vanthe-encrypted:*.enx"
              "the MIME database does not map *.enx to its type")
    expect_in(share/mime/icons "application/x-vanthe-encrypted:application-x-vanthe-encrypted"
              "the MIME database names no icon for the .enx type")
endif()
find_program(update_desktop update-desktop-database)
if(update_desktop)
    expect_in(share/applications/mimeinfo.cache
              "application/x-vanthe-encrypted=org.vanthe.Vanthe.desktop"
              "the desktop database does not offer Vanthe for .enx files")
endif()
file(REMOVE_RECURSE "${PREFIX}")
message(STATUS "installation complete")
