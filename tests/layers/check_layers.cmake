cmake_minimum_required(VERSION 3.25)

# Checks every #include of the program's code against the layering: each folder may include
# its own headers and those of the layers below it, and only one layer may include each
# outside library. Run as: cmake -DSOURCE_DIR=... -P check_layers.cmake

# The project folders each layer may include from (besides its own).
set(below_platform "platform/base_types.h")
set(allowed_platform/seams "")
set(allowed_platform/crypto "platform/seams;${below_platform}")
set(allowed_platform/files "platform/seams;${below_platform}")
set(allowed_platform/text "${below_platform}")
set(allowed_platform/content "${below_platform}")
set(allowed_platform/window "${below_platform}")
set(allowed_engine "platform/crypto;platform/files;platform/text;platform/content;${below_platform}")
set(allowed_jobs "engine;platform/crypto;platform/files;platform/text;platform/content;platform/window;${below_platform}")
set(allowed_res "platform/window;${below_platform}")
set(allowed_ui "jobs;engine;res;platform/crypto;platform/files;platform/text;platform/content;platform/window;${below_platform}")
set(allowed_app "ui;jobs;engine;res;platform/crypto;platform/files;platform/text;platform/content;platform/window;${below_platform}")

# Outside libraries, by the first part of their header names, and the one layer that may use each.
set(library_Q "platform/window")        # Qt: <QWidget>, <QtGui/...>
set(library_openssl "platform/crypto")
set(library_magic "platform/content")
set(library_zlib "platform/content")
set(library_bzlib "platform/content")   # libbz2
set(library_iconv "platform/text")
set(library_acl "platform/files")       # libacl: <acl/libacl.h>, <sys/acl.h>
set(library_xcb "platform/window")
set(library_xkbcommon "platform/window")

# A platform header that says it is internal to its layer may be included only there: the
# layers above see the platform's interface, not how it is built.
file(GLOB_RECURSE platform_headers LIST_DIRECTORIES false "${SOURCE_DIR}/platform/*.h")
set(internal_headers "")
foreach(header IN LISTS platform_headers)
    file(READ "${header}" text)
    string(REPLACE "\n// " " " text "${text}")
    if(text MATCHES "Internal to[ ]+the[ ]+layer")
        file(RELATIVE_PATH relative "${SOURCE_DIR}" "${header}")
        list(APPEND internal_headers "${relative}")
    endif()
endforeach()

set(layers platform/seams platform/crypto platform/files platform/text platform/content
    platform/window engine jobs res ui app)
set(violations "")
foreach(layer IN LISTS layers)
    file(GLOB_RECURSE sources LIST_DIRECTORIES false
         "${SOURCE_DIR}/${layer}/*.h" "${SOURCE_DIR}/${layer}/*.cpp")
    foreach(source IN LISTS sources)
        file(RELATIVE_PATH name "${SOURCE_DIR}" "${source}")
        file(STRINGS "${source}" lines REGEX "^[ \t]*#[ \t]*include")
        foreach(line IN LISTS lines)
            if(line MATCHES "#[ \t]*include[ \t]*\"([^\"]+)\"")
                set(header "${CMAKE_MATCH_1}")
                if(NOT header MATCHES "/")
                    continue() # a header beside the source
                endif()
                set(ok FALSE)
                foreach(prefix IN LISTS allowed_${layer} layer)
                    if(prefix STREQUAL "layer")
                        set(prefix "${layer}")
                    endif()
                    if(header STREQUAL prefix OR header MATCHES "^${prefix}/")
                        set(ok TRUE)
                    endif()
                endforeach()
                # Generated headers of the version record and the icons live under res/.
                if(NOT ok)
                    list(APPEND violations "${name}: ${header}")
                elseif(header IN_LIST internal_headers AND NOT header MATCHES "^${layer}/")
                    list(APPEND violations "${name}: ${header} is internal to its layer")
                endif()
            elseif(line MATCHES "#[ \t]*include[ \t]*<([^>/.]+)")
                set(first "${CMAKE_MATCH_1}")
                set(owner "")
                if(first MATCHES "^Q[A-Za-z]")
                    set(owner "${library_Q}")
                elseif(DEFINED library_${first})
                    set(owner "${library_${first}}")
                endif()
                if(line MATCHES "<(zlib|iconv|magic)\\.h>")
                    set(owner "${library_${CMAKE_MATCH_1}}")
                elseif(line MATCHES "<sys/acl\\.h>")
                    set(owner "${library_acl}")
                endif()
                if(owner AND NOT owner STREQUAL layer)
                    list(APPEND violations "${name}: <${first}...> belongs to ${owner}")
                endif()
            endif()
        endforeach()
    endforeach()
endforeach()

if(violations)
    list(JOIN violations "\n  " text)
    message(FATAL_ERROR "Includes against the layering:\n  ${text}")
endif()
message(STATUS "Every include follows the layering.")
