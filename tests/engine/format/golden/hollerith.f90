! options: no-separators
program hollerith
    write (*, 100)
100 format (51H NPROB   N    M    FINAL L2 NORM    OF THE RESIDUAL)
200 format(15HTOTAL    ENERGY,    1X,    5Hab  c)
300 format (I5,    10H    PAGE  )
400 format (4H'A'!,    'B    C')
end program hollerith
