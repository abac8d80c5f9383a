#pragma once

// Qt 5.15's JSON parser leaks an object or array value that a later duplicate
// key replaces ({"a":{},"a":1}); nothing we do can free it. Leaks of memory that
// Qt itself allocates are therefore not reported for the JSON readers; the
// objects of ours they build are allocated in our code and still are. Include
// from the one source file of a fuzz target.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libQt5Core.so\n";
}
