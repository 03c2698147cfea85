// Compiles nothing: the target exists to build the shared precompiled header of the tests.
