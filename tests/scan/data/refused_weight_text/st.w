FID IID WEIGHT
f c heavy
