int ParentFunction() { return 1; }
