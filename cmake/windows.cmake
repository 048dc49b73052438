# What the project's Windows targets share, said once. Included by the top-level CMakeLists
# when building for Windows; -Wall -Wextra apply to every target there already.

# Every Windows target links this: the wide-character API, the lean windows.h, and no
# min/max macros in the way of the standard library.
add_library(revertly_windows INTERFACE)
target_compile_definitions(revertly_windows INTERFACE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX)

# revertly_unicode_entry(target): the program starts at wWinMain or wmain.
function(revertly_unicode_entry target)
    target_compile_options(${target} PRIVATE -municode)
    target_link_options(${target} PRIVATE -municode)
endfunction()

# revertly_shipped_linking(target): linked as the shipped program is, without symbols and
# debug sections (Wine and Windows map them with the image, which costs several MiB of
# working set for nothing the user needs).
function(revertly_shipped_linking target)
    target_link_options(${target} PRIVATE $<$<NOT:$<CONFIG:Debug>>:-s>)
endfunction()

# revertly_uses_program(target): the target finds revertly.exe through REVERTLY_EXE_RELATIVE,
# its path relative to the target's own folder (Windows takes "/" too), and is built after it.
function(revertly_uses_program target)
    file(RELATIVE_PATH relative ${CMAKE_CURRENT_BINARY_DIR} ${PROJECT_BINARY_DIR}/src/revertly.exe)
    target_compile_definitions(${target} PRIVATE REVERTLY_EXE_RELATIVE="${relative}")
    add_dependencies(${target} revertly)
endfunction()
