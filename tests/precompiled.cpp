// Gives the test programs' shared precompiled headers (precompiled.h) a target to be built in.
