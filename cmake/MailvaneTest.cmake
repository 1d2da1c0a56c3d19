# mailvane_add_test(<name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>] [TIMEOUT <s>])
# One test executable per subject; every test runs headless.
function(mailvane_add_test name)
    cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} Qt6::Test project_warnings)
    # Headers of src/ come with the libraries linked, as for any other library.
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    target_compile_definitions(${name} PRIVATE MAILVANE_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data")
    add_test(NAME ${name} COMMAND ${name})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LANG=C.UTF-8;LANGUAGE=zh_TW;LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/cmake/lsan.supp"
        TIMEOUT ${T_TIMEOUT})
    if(T_LABELS)
        set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
    endif()
endfunction()

# mailvane_add_folder_tests(<prefix> TESTS <names...> LIBS <targets...> [FORM_LIBS <targets...>]
#                           [EXTRA_SOURCES <files...>])
# Each listed <name> (tst_<Subject>, built from <name>.cpp of the calling folder) becomes
# the test <prefix>_<name>; tests named tst_Form* link FORM_LIBS when given (the forms),
# the others LIBS. The targets made are returned in MV_FOLDER_TESTS for per-test additions.
function(mailvane_add_folder_tests prefix)
    cmake_parse_arguments(F "" "" "TESTS;LIBS;FORM_LIBS;EXTRA_SOURCES" ${ARGN})
    set(made)
    foreach(name ${F_TESTS})
        set(libs ${F_LIBS})
        if(F_FORM_LIBS AND name MATCHES "^tst_Form")
            set(libs ${F_FORM_LIBS})
        endif()
        mailvane_add_test(${prefix}_${name} SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/${name}.cpp ${F_EXTRA_SOURCES}
                          LIBS ${libs} mv_testsupport)
        list(APPEND made ${prefix}_${name})
    endforeach()
    set(MV_FOLDER_TESTS ${made} PARENT_SCOPE)
endfunction()

# mailvane_add_benchmarks(<prefix> BENCHMARKS <names...> LIBS <targets...>): each listed
# bench_<Name> (from <name>.cpp) becomes an executable <prefix>_<name>, built but not run
# as a test.
function(mailvane_add_benchmarks prefix)
    cmake_parse_arguments(B "" "" "BENCHMARKS;LIBS" ${ARGN})
    foreach(name ${B_BENCHMARKS})
        add_executable(${prefix}_${name} ${CMAKE_CURRENT_SOURCE_DIR}/${name}.cpp)
        target_link_libraries(${prefix}_${name} PRIVATE ${B_LIBS} project_warnings)
    endforeach()
endfunction()

# mailvane_test_english(<targets...>): the listed tests load the English catalogues
# (translations/*_en.ts and translations/parts/*_en.ts), which they compile with lrelease
# when they run.
function(mailvane_test_english)
    find_program(MAILVANE_LRELEASE NAMES lrelease-qt6 lrelease HINTS "${QT6_INSTALL_PREFIX}/${QT6_INSTALL_BINS}"
                 /usr/lib/qt6/bin)
    file(GLOB catalogues CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/translations/*_en.ts
         ${PROJECT_SOURCE_DIR}/translations/parts/*_en.ts)
    list(JOIN catalogues "|" joined)
    foreach(target ${ARGN})
        target_compile_definitions(${target} PRIVATE MAILVANE_LRELEASE="${MAILVANE_LRELEASE}"
                                                     MAILVANE_EN_TS="${joined}")
    endforeach()
endfunction()
