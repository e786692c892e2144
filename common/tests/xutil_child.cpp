// A program for the process tests: writes its command line and working directory to the file
// named by its first argument and exits with the code given as its second; or, when
// VELMORA_CHILD_REPORT names a file, appends its command line there.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv)
{
    // Started by a program that chooses the arguments itself (a player, a browser): the report
    // goes to the file the environment names.
    char report[MAX_PATH] = "";
    if (GetEnvironmentVariableA("VELMORA_CHILD_REPORT", report, sizeof report) > 0) {
        FILE* out = fopen(report, "ab");
        if (!out)
            return 98;
        fprintf(out, "%s\n", GetCommandLineA());
        fclose(out);
        return 0;
    }
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
