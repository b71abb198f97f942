#!/usr/bin/env python3
# Finds the tones in a raw recording (signed 16-bit little-endian stereo at RATE frames per
# second, 22050 unless given) and prints one line per tone: start second, length in
# seconds, frequency from its rising crossings, peak sample, and whether left and right
# agree. Tones are runs of sound separated by more than 20 ms of exact silence.
# Usage: soundcheck.py FILE [RATE]
import struct
import sys


def main():
    path = sys.argv[1]
    rate = int(sys.argv[2]) if len(sys.argv) > 2 else 22050
    min_gap = int(0.02 * rate)
    data = open(path, 'rb').read()
    frames = len(data) // 4
    samples = struct.unpack('<%dh' % (frames * 2), data[:frames * 4])
    left = samples[0::2]
    right = samples[1::2]
    print('frames %d seconds %.3f' % (frames, frames / rate))
    # A tone is a run of frames in which no more than min_gap consecutive frames are 0.
    i = 0
    while i < frames:
        if left[i] == 0:
            i += 1
            continue
        start = i
        last_nonzero = i
        while i < frames and i - last_nonzero <= min_gap:
            if left[i] != 0:
                last_nonzero = i
            i += 1
        end = last_nonzero + 1
        peak = max(abs(v) for v in left[start:end])
        # Rising crossings with hysteresis (from below -10 % to above +10 % of the peak), so
        # the small ripples a resampling device leaves around a tone's edges do not count.
        threshold = peak // 10
        rises = []
        armed = False
        for k in range(start, end):
            s = left[k]
            if s < -threshold:
                armed = True
            elif s > threshold and armed:
                rises.append(k)
                armed = False
        if len(rises) >= 2:
            frequency = (len(rises) - 1) * rate / (rises[-1] - rises[0])
        else:
            frequency = 0.0
        same = all(left[k] == right[k] for k in range(start, end))
        print('tone start %.4f length %.4f frequency %.2f peak %d stereo_equal %d' %
              (start / rate, (end - start) / rate, frequency, peak, 1 if same else 0))


if __name__ == '__main__':
    main()
