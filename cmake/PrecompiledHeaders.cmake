# Qt's headers parsed once per group of sources rather than once per source: without, parsing
# them is much of a from-scratch build (the CI's, without ccache). A precompiled header serves
# only compilations with the definitions it was made with: a mismatch is an error here
# (-Werror=invalid-pch), not a build that quietly got slow again.
#
# Off where ccache compiles: it caches compilations with a precompiled header only under
# settings of its own (sloppiness), and a warm cache is faster still.
if(CMAKE_CXX_COMPILER_LAUNCHER MATCHES "ccache")
    set(conversor_pch_default OFF)
else()
    set(conversor_pch_default ON)
endif()
option(CONVERSOR_PRECOMPILE_HEADERS "Precompile Qt's headers for the libraries and the tests" ${conversor_pch_default})

# conversor_precompiled_headers(NAME LIBRARIES lib... HEADERS header...): NAME, a library of no
# code whose precompiled header holds HEADERS, made with the definitions that linking LIBRARIES
# gives. GCC takes a precompiled header only where every definition it was made with is the
# same: the targets that take it (conversor_precompile) have those, and may have more.
function(conversor_precompiled_headers name)
    if(NOT CONVERSOR_PRECOMPILE_HEADERS)
        return()
    endif()
    cmake_parse_arguments(PARSE_ARGV 1 P "" "" "LIBRARIES;HEADERS")
    file(CONFIGURE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/${name}.cpp CONTENT "")
    add_library(${name} OBJECT ${CMAKE_CURRENT_BINARY_DIR}/${name}.cpp)
    set_target_properties(${name} PROPERTIES AUTOMOC OFF)
    target_link_libraries(${name} PRIVATE ${P_LIBRARIES})
    target_precompile_headers(${name} PRIVATE ${P_HEADERS})
    target_compile_options(${name} PRIVATE -Werror=invalid-pch)
endfunction()

# conversor_precompile(TARGET HOLDER): TARGET compiled with HOLDER's precompiled header.
function(conversor_precompile target holder)
    if(NOT CONVERSOR_PRECOMPILE_HEADERS)
        return()
    endif()
    target_precompile_headers(${target} REUSE_FROM ${holder})
    target_compile_options(${target} PRIVATE -Werror=invalid-pch)
endfunction()

# What most sources of db/ and conversion/ include, and of ui/ and app/.
conversor_precompiled_headers(core_headers LIBRARIES Qt6::Core
    HEADERS <QString> <QStringList> <QList> <QByteArray> <QHash> <QSet> <QMap> <QRegularExpression>
            <QDateTime> <QDir> <QFileInfo> <QFile> <optional> <functional> <algorithm> <memory> <mutex> <atomic>)
conversor_precompiled_headers(widget_headers LIBRARIES Qt6::Widgets
    HEADERS <QApplication> <QWidget> <QDialog> <QLabel> <QLineEdit> <QPushButton> <QHBoxLayout> <QPainter>
            <QImage> <QScreen> <QKeyEvent> <QAccessible> <QString> <QStringList> <QFileInfo>
            <optional> <functional> <algorithm> <memory> <cmath>)
