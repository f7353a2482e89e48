// The application entry.
int main() { return 0; }
