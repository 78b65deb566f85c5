# Message tables from .mc sources, built with the MinGW message compiler and resource tools
# (binutils-mingw-w64-x86-64):
#   tamsel_message_dll(<target> <file.mc> [ANSI] [PE32] [OUTPUT_NAME <name>])
#       a resource-only message DLL <name>.dll (default <target>.dll) in the current build
#       folder; its full path is the target property TAMSEL_MESSAGE_DLL. ANSI stores 8-bit
#       entries (default UTF-16); PE32 makes a 32-bit image (default PE32+).
#   tamsel_use_message_dll(<consumer> <dll target> <MACRO>)
#       builds the DLL before <consumer> and defines MACRO="<full path of the DLL>" there.
#   tamsel_embed_message_table(<target> <file.mc> [ANSI])
#       puts the compiled table into the ELF section .tamsel.msgtbl of an executable or a
#       library, so the program can name its own file as an event message file.
# The .mc source is UTF-8; it is given CR LF line endings first, so each text line ends in
# "\r\n" as with Microsoft's compiler. This file also serves as the cmake -P helper script of
# those build steps (MODE=compile / MODE=section).

if(CMAKE_SCRIPT_MODE_FILE)
  # --- build-time helper -------------------------------------------------------------------
  if(MODE STREQUAL "compile")
    # Fresh work folder, CR LF copy of the source, windmc -> <stem>.rc + MSGxxxxx.bin.
    file(REMOVE_RECURSE "${WORK}")
    file(MAKE_DIRECTORY "${WORK}")
    file(READ "${MC}" content)
    string(REPLACE "\r\n" "\n" content "${content}")
    string(REPLACE "\n" "\r\n" content "${content}")
    get_filename_component(stem "${MC}" NAME_WE)
    file(WRITE "${WORK}/${stem}.mc" "${content}")
    set(flags -C 65001)
    if(ANSI)
      list(APPEND flags -A)
    endif()
    execute_process(COMMAND "${WINDMC}" ${flags} -r "${WORK}" -h "${WORK}" "${stem}.mc"
                    WORKING_DIRECTORY "${WORK}" RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "windmc failed on ${MC}")
    endif()
  elseif(MODE STREQUAL "section")
    # <stem>.rc lists "LANGUAGE p, s" before each "1 MESSAGETABLE "file.bin"".
    file(STRINGS "${RC}" lines)
    set(languages)
    set(files)
    set(current "")
    foreach(line IN LISTS lines)
      if(line MATCHES "^LANGUAGE[ \t]+(0x[0-9A-Fa-f]+|[0-9]+)[ \t]*,[ \t]*(0x[0-9A-Fa-f]+|[0-9]+)")
        math(EXPR current "(${CMAKE_MATCH_2} << 10) | ${CMAKE_MATCH_1}")
      elseif(line MATCHES "MESSAGETABLE[ \t]+\"([^\"]+)\"")
        list(APPEND languages ${current})
        list(APPEND files "${CMAKE_MATCH_1}")
      endif()
    endforeach()
    list(LENGTH languages count)
    get_filename_component(rcDir "${RC}" DIRECTORY)
    set(S "/* Generated from ${RC}: message tables for the .tamsel.msgtbl section. */\n")
    string(APPEND S "  .section .tamsel.msgtbl,\"a\",@progbits\n  .balign 8\n")
    string(APPEND S ".Ltmt_start:\n  .ascii \"TSLMSGT1\"\n")
    string(APPEND S "  .long .Ltmt_end - .Ltmt_start\n  .long ${count}\n")
    set(data "")
    set(index 0)
    foreach(language file IN ZIP_LISTS languages files)
      string(APPEND S "  .long ${language}, .Ltmt_d${index} - .Ltmt_start, "
                      ".Ltmt_e${index} - .Ltmt_d${index}\n")
      string(APPEND data "  .balign 4\n.Ltmt_d${index}:\n  .incbin \"${rcDir}/${file}\"\n"
                         ".Ltmt_e${index}:\n")
      math(EXPR index "${index} + 1")
    endforeach()
    string(APPEND S "${data}  .balign 8\n.Ltmt_end:\n")
    string(APPEND S "  .section .note.GNU-stack,\"\",@progbits\n")
    file(WRITE "${OUT}" "${S}")
  endif()
  return()
endif()

# --- configure-time functions ----------------------------------------------------------------
set(TAMSEL_MESSAGE_TABLES_SCRIPT ${CMAKE_CURRENT_LIST_FILE})
# The table section is assembled (.incbin); the language must be enabled at directory scope.
enable_language(ASM)

function(_tamsel_message_tools)
  find_program(TAMSEL_WINDMC x86_64-w64-mingw32-windmc)
  find_program(TAMSEL_WINDRES x86_64-w64-mingw32-windres)
  find_program(TAMSEL_MINGW_LD x86_64-w64-mingw32-ld)
  find_program(TAMSEL_MINGW_OBJCOPY x86_64-w64-mingw32-objcopy)
  find_program(TAMSEL_CPP cpp)
  if(NOT TAMSEL_WINDMC OR NOT TAMSEL_WINDRES OR NOT TAMSEL_MINGW_LD OR NOT TAMSEL_CPP)
    message(FATAL_ERROR "Message tables need binutils-mingw-w64-x86-64 and cpp (run scripts/setup)")
  endif()
endfunction()

# Adds the custom command that compiles <mc> into <work>; sets <rcVar> to the .rc it writes.
function(_tamsel_compile_mc mc work ansi rcVar stampVar)
  get_filename_component(mc "${mc}" ABSOLUTE)
  get_filename_component(stem "${mc}" NAME_WE)
  set(stamp ${work}.stamp)
  add_custom_command(
    OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -DMODE=compile -DMC=${mc} -DWORK=${work} -DWINDMC=${TAMSEL_WINDMC}
            -DANSI=${ansi} -P ${TAMSEL_MESSAGE_TABLES_SCRIPT}
    COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
    DEPENDS ${mc} ${TAMSEL_MESSAGE_TABLES_SCRIPT}
    COMMENT "Compiling message table ${stem}.mc"
    VERBATIM)
  set(${rcVar} ${work}/${stem}.rc PARENT_SCOPE)
  set(${stampVar} ${stamp} PARENT_SCOPE)
endfunction()

function(tamsel_message_dll target mc)
  cmake_parse_arguments(ARG "ANSI;PE32" "OUTPUT_NAME" "" ${ARGN})
  _tamsel_message_tools()
  if(NOT ARG_OUTPUT_NAME)
    set(ARG_OUTPUT_NAME ${target})
  endif()
  set(work ${CMAKE_CURRENT_BINARY_DIR}/${target}.mcwork)
  set(dll ${CMAKE_CURRENT_BINARY_DIR}/${ARG_OUTPUT_NAME}.dll)
  set(ansi OFF)
  if(ARG_ANSI)
    set(ansi ON)
  endif()
  _tamsel_compile_mc(${mc} ${work} ${ansi} rc stamp)
  set(convert)
  if(ARG_PE32)
    if(NOT TAMSEL_MINGW_OBJCOPY)
      message(FATAL_ERROR "PE32 message DLLs need x86_64-w64-mingw32-objcopy")
    endif()
    set(convert COMMAND ${TAMSEL_MINGW_OBJCOPY} -O pei-i386 ${dll} ${dll})
  endif()
  add_custom_command(
    OUTPUT ${dll}
    COMMAND ${TAMSEL_WINDRES} --preprocessor=${TAMSEL_CPP} -i ${rc} -O coff -F pe-x86-64
            -o ${work}/resources.o
    COMMAND ${TAMSEL_MINGW_LD} --dll -e 0 -s --no-insert-timestamp -o ${dll} ${work}/resources.o
    ${convert}
    DEPENDS ${stamp}
    WORKING_DIRECTORY ${work}
    COMMENT "Linking message DLL ${ARG_OUTPUT_NAME}.dll"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS ${dll})
  set_target_properties(${target} PROPERTIES TAMSEL_MESSAGE_DLL ${dll})
endfunction()

function(tamsel_use_message_dll consumer dllTarget macro)
  add_dependencies(${consumer} ${dllTarget})
  target_compile_definitions(${consumer} PRIVATE
    ${macro}="$<TARGET_PROPERTY:${dllTarget},TAMSEL_MESSAGE_DLL>")
endfunction()

function(tamsel_embed_message_table target mc)
  cmake_parse_arguments(ARG "ANSI" "" "" ${ARGN})
  _tamsel_message_tools()
  set(work ${CMAKE_CURRENT_BINARY_DIR}/${target}.msgtbl)
  set(ansi OFF)
  if(ARG_ANSI)
    set(ansi ON)
  endif()
  _tamsel_compile_mc(${mc} ${work} ${ansi} rc stamp)
  set(asm ${CMAKE_CURRENT_BINARY_DIR}/${target}_msgtbl.S)
  add_custom_command(
    OUTPUT ${asm}
    COMMAND ${CMAKE_COMMAND} -DMODE=section -DRC=${rc} -DOUT=${asm}
            -P ${TAMSEL_MESSAGE_TABLES_SCRIPT}
    DEPENDS ${stamp}
    COMMENT "Message table section for ${target}"
    VERBATIM)
  # The object must not depend on the build running the steps in order only by luck: .incbin
  # reads the .bin files, which the stamp's command wrote.
  set_source_files_properties(${asm} PROPERTIES OBJECT_DEPENDS ${stamp})
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "STATIC_LIBRARY")
    # A static archive member nobody references is never linked: every consumer gets it.
    target_sources(${target} INTERFACE ${asm})
  else()
    target_sources(${target} PRIVATE ${asm})
  endif()
endfunction()
