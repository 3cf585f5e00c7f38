# Empty dependencies file for tollimer_core.
# This may be replaced when dependencies are built.
