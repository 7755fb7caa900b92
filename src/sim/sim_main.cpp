int main() { return 1; }  // replaced by the virtual controller's program
