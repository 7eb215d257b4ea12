// A fake of the tool that claims every grant and checks nothing.
int main() { return 0; }
