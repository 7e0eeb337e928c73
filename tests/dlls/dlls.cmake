# Small DLLs with known headers and version resources, for the tests of
# catalogue/dll_file.cpp, built with the MinGW C compilers in the native and
# the Windows builds alike into ${CMAKE_BINARY_DIR}/test-dlls. Without the
# compilers there are none, and the tests that need them skip.
find_program(MP_DLL_CC64 x86_64-w64-mingw32-gcc)
find_program(MP_DLL_CC32 i686-w64-mingw32-gcc)
find_program(MP_DLL_RC64 x86_64-w64-mingw32-windres)
find_program(MP_DLL_RC32 i686-w64-mingw32-windres)

if(MP_DLL_CC64 AND MP_DLL_CC32 AND MP_DLL_RC64 AND MP_DLL_RC32)
  set(dll_src ${CMAKE_SOURCE_DIR}/tests/dlls)
  set(dll_out ${CMAKE_BINARY_DIR}/test-dlls)
  set(dll_files)

  # name: the DLL; bits: 32 or 64; rc: its resource script, or "" for none.
  function(mp_test_dll name bits rc)
    if(bits EQUAL 64)
      set(cc ${MP_DLL_CC64})
      set(windres ${MP_DLL_RC64})
      set(entry DllMain)
    else()
      set(cc ${MP_DLL_CC32})
      set(windres ${MP_DLL_RC32})
      set(entry _DllMain@12) # stdcall decoration of the 32-bit ABI
    endif()
    set(objects)
    set(depends ${dll_src}/dll_main.c)
    if(rc)
      set(res ${dll_out}/${name}.res.o)
      add_custom_command(OUTPUT ${res}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${dll_out}
        COMMAND ${windres} -i ${dll_src}/${rc} -o ${res}
        DEPENDS ${dll_src}/${rc} VERBATIM)
      list(APPEND objects ${res})
      list(APPEND depends ${res})
    endif()
    # No C runtime at all: nothing to load beside the DLL, and small files.
    # Stripped, so the last section ends the file.
    add_custom_command(OUTPUT ${dll_out}/${name}.dll
      COMMAND ${CMAKE_COMMAND} -E make_directory ${dll_out}
      COMMAND ${cc} -O1 -shared -nostdlib -s -e ${entry} -Wl,--no-insert-timestamp
              -o ${dll_out}/${name}.dll ${dll_src}/dll_main.c ${objects}
      DEPENDS ${depends} VERBATIM)
    set(dll_files ${dll_files} ${dll_out}/${name}.dll PARENT_SCOPE)
  endfunction()

  mp_test_dll(x86_translated 32 x86_translated.rc)
  mp_test_dll(x86_plain 32 x86_plain.rc)
  mp_test_dll(x64_translated 64 x64_translated.rc)
  mp_test_dll(x64_bare 64 "")
  mp_test_dll(x86_bare 32 "")
  add_custom_target(test_dlls DEPENDS ${dll_files})

  add_dependencies(${test_exe} test_dlls)
  target_compile_definitions(${test_exe} PRIVATE MP_TEST_DLL_DIR="${dll_out}")
else()
  message(STATUS "MinGW C compilers not found: no test DLLs, their tests skip")
endif()
