# Build time. Most of a build goes into compiling the same Qt and standard headers again in every
# file, and into linking; this module makes both cheaper for every target of the tree, however the
# folders define their targets.

# mold links a sanitizer-built test in a fraction of the time GNU ld takes.
find_program(MOLD_LINKER mold)
if(MOLD_LINKER)
    add_link_options(-fuse-ld=mold)
endif()

# One precompiled header of the Qt and standard headers the sources use most, built once and
# shared by every target: one for targets with widgets, one for those with Qt Core only, so that
# Qt Core code does not see the widget classes. Built with Clang, tests get the same two with
# QtTest added.
option(SPANMON_PRECOMPILED_HEADERS "Precompile the common Qt and standard headers once" ON)

set(SPANMON_PCH_CORE
    <algorithm> <array> <chrono> <cstdio> <functional> <map> <memory> <optional> <string> <vector>
    <QByteArray> <QCoreApplication> <QDeadlineTimer> <QDir> <QElapsedTimer> <QEventLoop> <QFile>
    <QFileInfo> <QHash> <QList> <QLoggingCategory> <QObject> <QProcess> <QString> <QStringList>
    <QTemporaryDir> <QThread> <QTimer> <QVariant>)
set(SPANMON_PCH_WIDGETS ${SPANMON_PCH_CORE}
    <QApplication> <QCheckBox> <QComboBox> <QDialog> <QFont> <QFontMetrics> <QGroupBox> <QKeyEvent>
    <QLabel> <QLineEdit> <QListWidget> <QPainter> <QPixmap> <QProgressBar> <QPushButton> <QWidget>)
set(SPANMON_PCH_TEST <QSignalSpy> <QTest>)

# Sets found to TRUE when target links library, directly or through other targets.
function(_spanmon_links target library found)
    set(pending ${target})
    set(seen)
    while(NOT pending STREQUAL "")
        list(POP_FRONT pending current)
        if(current IN_LIST seen OR NOT TARGET ${current})
            continue()
        endif()
        list(APPEND seen ${current})
        get_property(aliased TARGET ${current} PROPERTY ALIASED_TARGET)
        if(aliased)
            list(APPEND pending ${aliased})
            continue()
        endif()
        if(current STREQUAL library)
            set(${found} TRUE PARENT_SCOPE)
            return()
        endif()
        get_property(libraries TARGET ${current} PROPERTY INTERFACE_LINK_LIBRARIES)
        get_property(type TARGET ${current} PROPERTY TYPE)
        if(NOT type STREQUAL "INTERFACE_LIBRARY")
            get_property(direct TARGET ${current} PROPERTY LINK_LIBRARIES)
            list(APPEND libraries ${direct})
        endif()
        foreach(item IN LISTS libraries)
            # A static library's own dependencies come as $<LINK_ONLY:name>.
            string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" item "${item}")
            list(APPEND pending ${item})
        endforeach()
    endwhile()
    set(${found} FALSE PARENT_SCOPE)
endfunction()

function(_spanmon_targets directory out)
    get_property(targets DIRECTORY ${directory} PROPERTY BUILDSYSTEM_TARGETS)
    get_property(subdirectories DIRECTORY ${directory} PROPERTY SUBDIRECTORIES)
    foreach(subdirectory IN LISTS subdirectories)
        _spanmon_targets(${subdirectory} more)
        list(APPEND targets ${more})
    endforeach()
    set(${out} ${targets} PARENT_SCOPE)
endfunction()

# A precompiled header of `headers` for targets linking `qt`, named spanmon_pch_<name>.
function(_spanmon_add_precompiled_header name qt headers)
    set(target spanmon_pch_${name})
    add_library(${target} OBJECT ${CMAKE_BINARY_DIR}/pch/anchor.cpp)
    target_link_libraries(${target} PRIVATE ${qt})
    target_precompile_headers(${target} PRIVATE ${headers})
    # Clang records the headers' times in the file, which a header taken from ccache for another
    # checkout would not match.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        target_compile_options(${target} PRIVATE -Xclang -fno-pch-timestamp)
    endif()
endfunction()

# QtTest's headers without Qt6::Test's definitions, which name each test's own folder: a header
# built with one folder's would clash with every other's. QTEST_MAIN and the network
# comparisons are settled when the header is built, so a widget test gets the widget one and
# every test the network one. Without the folders QFINDTESTDATA finds nothing: a test names the
# folder of its files itself.
function(_spanmon_add_test_precompiled_header name qt headers)
    _spanmon_add_precompiled_header(${name} "${qt};Qt6::Network" "${headers};${SPANMON_PCH_TEST}")
    target_include_directories(spanmon_pch_${name} PRIVATE
        $<TARGET_PROPERTY:Qt6::Test,INTERFACE_INCLUDE_DIRECTORIES>)
    target_compile_definitions(spanmon_pch_${name} PRIVATE QT_TESTLIB_LIB)
endfunction()

# Runs once every folder has defined its targets.
function(_spanmon_share_precompiled_headers)
    file(WRITE ${CMAKE_BINARY_DIR}/pch/anchor.cpp "// The precompiled headers' own target compiles nothing else.\n")
    _spanmon_add_precompiled_header(core Qt6::Core "${SPANMON_PCH_CORE}")
    _spanmon_add_precompiled_header(widgets Qt6::Widgets "${SPANMON_PCH_WIDGETS}")
    # GCC takes a header only where every macro it tests is defined as it was for the header,
    # which the tests' own definitions are not.
    set(test_headers FALSE)
    if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        set(test_headers TRUE)
        _spanmon_add_test_precompiled_header(test_core Qt6::Core "${SPANMON_PCH_CORE}")
        _spanmon_add_test_precompiled_header(test_widgets Qt6::Widgets "${SPANMON_PCH_WIDGETS}")
    endif()

    _spanmon_targets(${CMAKE_SOURCE_DIR} targets)
    foreach(target IN LISTS targets)
        get_target_property(type ${target} TYPE)
        if(NOT type MATCHES "^(EXECUTABLE|STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY)$"
           OR target MATCHES "^spanmon_pch_")
            continue()
        endif()
        # Clang takes a precompiled header only with the visibility it was built with.
        get_target_property(visibility ${target} CXX_VISIBILITY_PRESET)
        if(visibility)
            continue()
        endif()
        _spanmon_links(${target} Qt6::Widgets widgets)
        _spanmon_links(${target} Qt6::Gui gui)
        _spanmon_links(${target} Qt6::Core core)
        set(test FALSE)
        if(test_headers)
            _spanmon_links(${target} Qt6::Test test)
        endif()
        # A Qt GUI test without widgets would get the wrong QTEST_MAIN from either test header.
        if(test AND widgets)
            target_precompile_headers(${target} REUSE_FROM spanmon_pch_test_widgets)
        elseif(test AND NOT gui)
            target_precompile_headers(${target} REUSE_FROM spanmon_pch_test_core)
        elseif(widgets)
            target_precompile_headers(${target} REUSE_FROM spanmon_pch_widgets)
        elseif(core)
            target_precompile_headers(${target} REUSE_FROM spanmon_pch_core)
        endif()
    endforeach()
endfunction()

if(SPANMON_PRECOMPILED_HEADERS AND CMAKE_CXX_COMPILER_ID MATCHES "^(GNU|Clang)$")
    cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL _spanmon_share_precompiled_headers)
endif()
