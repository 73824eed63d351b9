// The formats fuzz target needs no start-up; the corpus replay calls this.
extern "C" int LLVMFuzzerInitialize(int*, char***) { return 0; }
