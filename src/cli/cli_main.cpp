int main() { return 1; }  // replaced by the command-line tool
