# The embedded engine's settings for this tool: a folder the program names to the engine as its
# root (FIREBIRD), found beside the program in the build tree (build/firebird) and under
# CONVERSOR_ENGINE_DIR where it is installed (engineenv.cpp). Debian builds the engine with its
# folders fixed: plugins, external-function libraries, messages and the character-set
# configuration come from there whatever the root. From the root it reads
#  - firebird.conf: the tool's own (packaging/firebird.conf.in); installed as configuration,
#    in /etc/conversor for the prefix /usr and in PREFIX/etc/conversor otherwise, which the
#    installed folder links to;
#  - databases.conf, plugins.conf, fbtrace.conf: links to the system's;
#  - intl/libfbintl.so: the character-set module, which Debian's fbintl.conf names
#    "$(root)/intl/fbintl"; a link to the system's module (engineenv.cpp says how the engine
#    takes it through a link).
# Every link names the system's file by its real path, so a Firebird update reaches the tool.

# The engine's version, as Debian's package names and folders carry it.
set(FIREBIRD_VERSION 3.0)
set(FIREBIRD_ENGINE_ROOT /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/firebird/${FIREBIRD_VERSION}
    CACHE PATH "The Firebird ${FIREBIRD_VERSION} engine's folder (Debian's firebird${FIREBIRD_VERSION}-server-core)")
# Where the installed program finds its engine settings, under the installation prefix.
set(CONVERSOR_ENGINE_DIR lib/conversor/firebird)
# Where firebird.conf goes when the prefix is /usr (a package's): the system's configuration.
set(CONVERSOR_SYSTEM_CONF_DIR /etc/conversor)
target_compile_definitions(db PRIVATE CONVERSOR_ENGINE_DIR="${CONVERSOR_ENGINE_DIR}")

set(missing)
foreach(file plugins/libEngine12.so intl/fbintl.conf intl/libfbintl.so UDF/ib_udf.so
             databases.conf plugins.conf fbtrace.conf)
    if(NOT EXISTS ${FIREBIRD_ENGINE_ROOT}/${file})
        list(APPEND missing ${file})
    endif()
endforeach()
if(missing)
    list(JOIN missing ", " missing)
    message(FATAL_ERROR "The Firebird ${FIREBIRD_VERSION} engine is not in ${FIREBIRD_ENGINE_ROOT} (missing: ${missing}). "
                        "Install Debian's firebird${FIREBIRD_VERSION}-server-core (scripts/setup does), or name the "
                        "engine's folder with -DFIREBIRD_ENGINE_ROOT=PATH.")
endif()

file(REAL_PATH ${FIREBIRD_ENGINE_ROOT}/UDF FIREBIRD_UDF_DIR)
# NAME=TARGET: what the settings folder links to, by real path.
set(engine_links)
foreach(file databases.conf plugins.conf fbtrace.conf intl/libfbintl.so)
    file(REAL_PATH ${FIREBIRD_ENGINE_ROOT}/${file} target)
    list(APPEND engine_links "${file}=${target}")
endforeach()

# The build tree's folder: the tool's firebird.conf itself and the links.
set(settings ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/firebird)
file(REMOVE_RECURSE ${settings})
file(MAKE_DIRECTORY ${settings}/intl)
set(CONVERSOR_FIREBIRD_CONF ${settings}/firebird.conf)
configure_file(${PROJECT_SOURCE_DIR}/packaging/firebird.conf.in ${CONVERSOR_FIREBIRD_CONF} @ONLY)
foreach(link IN LISTS engine_links)
    string(REGEX MATCH "^([^=]+)=(.*)$" link "${link}")
    file(CREATE_LINK ${CMAKE_MATCH_2} ${settings}/${CMAKE_MATCH_1} SYMBOLIC)
endforeach()

# Installed: the same links, and firebird.conf as configuration (chosen by the prefix, which
# only the install step knows: cpack installs with the prefix /usr).
configure_file(${CMAKE_CURRENT_LIST_DIR}/InstallEngineSettings.cmake.in
               ${CMAKE_BINARY_DIR}/InstallEngineSettings.cmake @ONLY)
install(SCRIPT ${CMAKE_BINARY_DIR}/InstallEngineSettings.cmake)
