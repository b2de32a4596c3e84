// Starts and ends at once: the benchmarks time it to learn what a program start costs.
int wmain()
{
    return 0;
}
