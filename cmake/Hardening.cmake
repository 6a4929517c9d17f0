# Debian's hardening, as its own packages are built: the flags dpkg-buildflags gives with
# hardening=+all (fortified libc calls, the stack protector, format checks, read-only
# relocations bound at start), asked of it here so that the build follows Debian's choice. PIE
# is the Debian compiler's default. The build type decides optimisation and debug info, so
# dpkg-buildflags' own -g -O2 are left out, and so is its path mapping for reproducible builds:
# the debug info keeps the sources' real paths for debuggers and the sanitizers' reports.
#
# Off by default in the sanitized build: AddressSanitizer checks memory itself, and the
# fortified variants of libc's functions go around some of its interceptors; that build is
# never packaged.
if(CONVERSOR_SANITIZE)
    set(conversor_harden_default OFF)
else()
    set(conversor_harden_default ON)
endif()
option(CONVERSOR_HARDEN "Build with Debian's hardening flags (dpkg-buildflags, hardening=+all)" ${conversor_harden_default})
if(NOT CONVERSOR_HARDEN)
    return()
endif()

find_program(DPKG_BUILDFLAGS dpkg-buildflags)
if(NOT DPKG_BUILDFLAGS)
    message(FATAL_ERROR "dpkg-buildflags is missing: install Debian's dpkg-dev (scripts/setup does), "
                        "or build without hardening with -DCONVERSOR_HARDEN=OFF.")
endif()
set(conversor_hardening)
foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
    execute_process(
        COMMAND ${CMAKE_COMMAND} -E env
                "DEB_BUILD_MAINT_OPTIONS=hardening=+all reproducible=-fixfilepath,-fixdebugpath"
                "DEB_CXXFLAGS_MAINT_STRIP=-g -O2"
                ${DPKG_BUILDFLAGS} --get ${kind}
        OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE
        COMMAND_ERROR_IS_FATAL ANY)
    separate_arguments(flags UNIX_COMMAND "${flags}")
    if(kind STREQUAL LDFLAGS)
        add_link_options(${flags})
    else()
        foreach(flag IN LISTS flags)
            # Fortification works only where the compiler optimises; without, glibc's headers
            # warn and check nothing.
            if(flag MATCHES "^-D_FORTIFY_SOURCE")
                set(flag "$<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:${flag}>")
            endif()
            add_compile_options(${flag})
        endforeach()
    endif()
    list(APPEND conversor_hardening ${flags})
endforeach()
list(JOIN conversor_hardening " " conversor_hardening)
message(STATUS "Hardening: ${conversor_hardening}")
