// The program part of the report benchmark's versioned programs: it only exits.
int main() { return 0; }
