/* A DLL that stands for one planted beside the program: nothing but the search of the
   program's own folder can find it. */
__declspec(dllexport) int mefwPlantedProbe(void) { return 1; }
