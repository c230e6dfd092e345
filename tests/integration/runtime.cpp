// The user's own library called "runtime".
int user_runtime() { return 0; }
