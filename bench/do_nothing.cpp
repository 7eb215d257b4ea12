// Does nothing: process creation and runtime start-up alone, the floor the
// tool's own cost is measured against.
int main() { return 0; }
