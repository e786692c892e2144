# The pure code of the suite: formats, parsers, protocol texts and schedules that include no
# windows.h. The cross build links it into every program (through common); tests/fuzz builds the
# same files natively with clang and libFuzzer. One line per file, paths from the top of the tree.
set(VELMORA_PURE_SOURCES
    common/framing.cpp
    common/list.cpp
    common/options.cpp
    common/osversion.cpp
    monitor/options_text.cpp
    monitor/fetch_schedule.cpp
    powerline/frames.cpp
    powerline/receive_filter.cpp
)

function(velmora_pure_library target top)
    list(TRANSFORM VELMORA_PURE_SOURCES PREPEND ${top}/ OUTPUT_VARIABLE sources)
    add_library(${target} STATIC ${sources})
    target_include_directories(${target} PUBLIC ${top})
endfunction()
