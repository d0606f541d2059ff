# Native Linux build: the portable core, the command-line front end and their tests.
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
