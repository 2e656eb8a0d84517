           05 B PICTURE IS 999.99.
