# Sourced by the build scripts: reuse earlier compilations across build folders and
# checkouts when ccache is installed (scripts/setup installs it).
if command -v ccache >/dev/null 2>&1; then
    export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
    export CCACHE_BASEDIR="$(pwd)" CCACHE_NOHASHDIR=1
fi
