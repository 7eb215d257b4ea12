// The runtime must pass arguments through as typed: "*" is an account or right
// name, never a file pattern, whatever default the toolchain was built with.
extern "C" {
int _dowildcard = 0;
}
