// A program for the process tests: writes its command line and working directory to the file
// named by its first argument and exits with the code given as its second.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv)
{
    if (argc < 2)
        return 99;
    FILE* out = fopen(argv[1], "wb");
    if (!out)
        return 98;
    char dir[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof dir, dir);
    fprintf(out, "%s\n%s\n", GetCommandLineA(), dir);
    fclose(out);
    return argc > 2 ? atoi(argv[2]) : 0;
}
