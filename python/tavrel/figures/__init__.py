"""Every picture and page of tavrel, and the one table of display units they share:

    units.py     display units (Pa as bar, m3/s as L/min, rad as °)
    canvas.py    the one import of matplotlib: off-screen figures and their files
    decimate.py  fewer points for what a screen shows (each stretch's minimum and maximum)
    series.py    results.png (a run over time) and results_profile.png (sensors at six times)
    waves.py     results_wave_map.png and results_wave.gif (the pressure along the annulus)
    gif.py       animated GIF frames on one exact palette
    report.py    report.html of a run or a study (plotly)
    study.py     a study's metrics.png, heat_map.png, histogram.png, frequency_response.png
    linear.py    bode.png and poles.png of a linear model, the continuum reference figure
    optimize.py  convergence.png of an optimisation
    __main__.py  python3 -m tavrel.figures run|study ..., what the command-line tool launches

Only __main__ imports the rest of tavrel; the drawing modules take results, studies and models
as arguments, so the package's imports run one way. matplotlib, plotly and Pillow load when a
picture or page is drawn. Figures are placed by margins in inches (canvas.place), not by a
layout engine, which measured every label before each draw.
"""
