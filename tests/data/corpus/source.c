#include <stdio.h>
#include <stdlib.h>

/* Prints the running mean of the numbers given on the command line. */
struct stats {
    double sum;
    unsigned long count;
};

static void add(struct stats *s, double value)
{
    s->sum += value;
    s->count++;
}

int main(int argc, char **argv)
{
    struct stats s = {0.0, 0};
    for (int i = 1; i < argc; i++) {
        char *end = NULL;
        double value = strtod(argv[i], &end);
        if (end == argv[i] || *end != '\0') {
            fprintf(stderr, "not a number: %s\n", argv[i]);
            return 2;
        }
        add(&s, value);
        printf("%lu values, mean %.3f\n", s.count, s.sum / (double)s.count);
    }
    return 0;
}
