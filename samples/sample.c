/* A library that carries nothing but its version resource. */
int quillet_sample(void)
{
    return 17;
}
