# Fails with MESSAGE: a test that stands for a check that cannot run here.
message(FATAL_ERROR "${MESSAGE}")
