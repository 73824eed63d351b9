FID IID W V
f c 1 1
