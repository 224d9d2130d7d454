/* Lists the current directory of the drive it was loaded from with the C
** library's opendir and readdir: a line "<name type blocks>" an entry,
** then "end". (Lower case in C is the C64's upper case on its screen.)
*/
#include <dirent.h>
#include <stdio.h>

int main(void)
{
    struct dirent* entry;
    DIR* dir = opendir(".");
    if (dir == NULL) {
        puts("no dir");
        return 1;
    }
    while ((entry = readdir(dir)) != NULL) {
        printf("<%s %u %u>\n", entry->d_name, entry->d_type, entry->d_blocks);
    }
    closedir(dir);
    puts("end");
    return 0;
}
