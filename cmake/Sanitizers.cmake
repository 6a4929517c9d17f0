# A build with AddressSanitizer and UndefinedBehaviorSanitizer (the preset "sanitize":
# scripts/test --sanitize). Every program of it carries the sanitizers' settings
# (tools/sanitizer_defaults.cpp), so that they hold however it is started: by ctest, by a shell
# test, as another user.
option(CONVERSOR_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
# Or with ThreadSanitizer (the preset "thread", by hand: see README), its settings in
# tools/tsan_defaults.cpp.
option(CONVERSOR_THREAD_SANITIZE "Build with ThreadSanitizer" OFF)

if(CONVERSOR_SANITIZE AND CONVERSOR_THREAD_SANITIZE)
    message(FATAL_ERROR "ThreadSanitizer does not go with the other sanitizers: one build each")
elseif(CONVERSOR_SANITIZE)
    # Any finding ends the program with a failure; frames kept for readable stacks.
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
    add_library(sanitizer_defaults OBJECT ${PROJECT_SOURCE_DIR}/tools/sanitizer_defaults.cpp)
elseif(CONVERSOR_THREAD_SANITIZE)
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
    add_library(sanitizer_defaults OBJECT ${PROJECT_SOURCE_DIR}/tools/tsan_defaults.cpp)
endif()

# Gives every program made under dir (and its subfolders) the sanitizers' settings.
function(conversor_sanitize_programs dir)
    if(NOT CONVERSOR_SANITIZE AND NOT CONVERSOR_THREAD_SANITIZE)
        return()
    endif()
    get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target IN LISTS targets)
        get_target_property(type ${target} TYPE)
        if(type STREQUAL EXECUTABLE)
            target_link_libraries(${target} PRIVATE sanitizer_defaults)
        endif()
    endforeach()
    get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    foreach(subdir IN LISTS subdirs)
        conversor_sanitize_programs(${subdir})
    endforeach()
endfunction()
