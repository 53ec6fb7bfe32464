#!/usr/bin/env bash
# check-install.sh BUILD_DIR CONSUMER_DIR START_DEVSERVER_SH CXX "CXXFLAGS"
# Installs BUILD_DIR into a temporary prefix and checks that an application finds the
# package both ways (find_package and pkg-config) and runs against the development server.
set -euo pipefail
build=$1 consumer=$2 starter=$3 cxx=$4 cxxflags=$5

work=$(mktemp -d)
devserver_pid=""
cleanup() {
    [ -n "$devserver_pid" ] && kill "$devserver_pid" 2>/dev/null && wait "$devserver_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log" || { cat "$work/install.log"; fail "cmake --install"; }

library=$(find "$prefix" -name 'libTovrin5.so' | head -n 1)
[ -n "$library" ] || fail "libTovrin5.so was not installed"
libdir=$(dirname "$library")
for f in "$prefix/bin/tovrin-sql" "$prefix/bin/tovrin-devserver"; do
    [ -x "$f" ] || fail "$f was not installed"
done
for h in tovrin5.h host/DataSet.h client/Ctpublic.h dataset/SybDataSet.h query/SybConnect.h query/SybQuery.h; do
    [ -f "$prefix/include/tovrin5/$h" ] || fail "header $h was not installed under include/tovrin5"
done
# Only what an application includes is installed, and every installed header stands on its
# own: one translation unit includes them all with nothing but the installed tree on its path.
for h in client/LibraryLoader.h query/LoginWatchdog.h design/DialogsPlugin.h dataset/FlagRestore.h; do
    [ ! -e "$prefix/include/tovrin5/$h" ] || fail "internal header $h was installed"
done
(cd "$prefix/include" && find tovrin5 -name '*.h' ! -path 'tovrin5/qt/*' | sort | sed 's/.*/#include <&>/') \
    >"$work/every_header.cpp"
# shellcheck disable=SC2086
"$cxx" $cxxflags -std=c++20 -fsyntax-only -I"$prefix/include" "$work/every_header.cpp" 2>"$work/headers.log" \
    || { cat "$work/headers.log"; fail "the installed headers do not compile on their own"; }
[ -f "$libdir/cmake/Tovrin5/Tovrin5Config.cmake" ] || fail "no CMake package file"
[ -f "$libdir/pkgconfig/tovrin5.pc" ] || fail "no pkg-config file"

# 1. CMake: find_package(Tovrin5) and the target Tovrin5::Tovrin5.
cmake -S "$consumer" -B "$work/with-cmake" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
      -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_CXX_FLAGS="$cxxflags" >"$work/cmake.log" 2>&1 \
    || { cat "$work/cmake.log"; fail "configuring the consumer with find_package"; }
cmake --build "$work/with-cmake" >"$work/build.log" 2>&1 || { cat "$work/build.log"; fail "building with CMake"; }

# 2. pkg-config.
flags=$(PKG_CONFIG_PATH="$libdir/pkgconfig" pkg-config --cflags --libs tovrin5) || fail "pkg-config tovrin5"
# shellcheck disable=SC2086
"$cxx" $cxxflags "$consumer/consumer.cpp" $flags -Wl,-rpath,"$libdir" -o "$work/with-pkgconfig" \
    || fail "building with pkg-config"

# Both programs use the installed library, not the build tree's.
for program in "$work/with-cmake/consumer" "$work/with-pkgconfig" "$prefix/bin/tovrin-sql"; do
    resolved=$(ldd "$program" | awk '/libTovrin5/ {print $3}')
    [ "$(readlink -f "$resolved")" = "$(readlink -f "$library")" ] \
        || fail "$program loads $resolved instead of the installed library"
done

# 3. Run everything against the installed development server.
. "$starter"
start_devserver "$prefix/bin/tovrin-devserver" "$work" --user sa --password install-check
for program in "$work/with-cmake/consumer" "$work/with-pkgconfig"; do
    output=$("$program" DEVSERVER sa install-check) || fail "$program: $output"
    [ "$output" = "doubled = 42" ] || fail "$program printed '$output'"
done
answer=$("$prefix/bin/tovrin-sql" -S DEVSERVER -U sa -P install-check -f csv -q -Q "select 6 * 7 as answer")
[ "$answer" = $'answer\r\n42\r' ] || [ "$answer" = $'answer\r\n42' ] || fail "tovrin-sql printed '$answer'"
# 4. The Qt binding, when it was built: its library, headers and pkg-config file make a
# program that shows a dataset in a model.
if [ -f "$libdir/libTovrin5Qt.so" ]; then
    [ -f "$prefix/include/tovrin5/qt/DataSetModel.h" ] || fail "qt/DataSetModel.h was not installed"
    [ -f "$libdir/cmake/Tovrin5/Tovrin5QtTargets.cmake" ] || fail "no CMake target file for Tovrin5::Qt"
    [ -x "$prefix/bin/tovrin-browse" ] || fail "tovrin-browse was not installed"
    printf '%s\n' '#include <tovrin5/qt/DataSetModel.h>' \
        'int main() { tovrin::qt::TDataSetModel model(nullptr); return model.rowCount() + model.columnCount(); }' \
        >"$work/qt_consumer.cpp"
    qtflags=$(PKG_CONFIG_PATH="$libdir/pkgconfig" pkg-config --cflags --libs tovrin5qt) || fail "pkg-config tovrin5qt"
    # shellcheck disable=SC2086
    "$cxx" $cxxflags -fPIC "$work/qt_consumer.cpp" $qtflags -Wl,-rpath,"$libdir" -o "$work/qt_consumer" \
        || fail "building with pkg-config tovrin5qt"
    "$work/qt_consumer" || fail "the Qt consumer failed"
fi
echo "installed package: CMake and pkg-config consumers and tovrin-sql work"
