C     SOLVE A SMALL BANDED SYSTEM AND PRINT A TABLE
C     (LABELLED LOOPS SHARING A LABEL, ARITHMETIC IF, COMPUTED GOTO)
      PROGRAM BAND                                                      BAND0010
      INTEGER N, I, J, K, KASE                                          BAND0020
      PARAMETER (N = 6)                                                 BAND0030
      DOUBLE PRECISION A(N,N), B(N), X(N), S                            BAND0040
*     FILL THE MATRIX
      DO 20 I = 1, N                                                    BAND0050
      DO 20 J = 1, N                                                    BAND0060
      A(I,J) = 0.0D0                                                    BAND0070
      IF (I .EQ. J) A(I,J) = 4.0D0                                      BAND0080
      IF (IABS(I-J) .EQ. 1) A(I,J) = -1.0D0                             BAND0090
   20 CONTINUE                                                          BAND0100
c     right-hand side
      DO 30 I = 1, N
         B(I) = DBLE(I)
   30 CONTINUE
!     forward sweep
      DO 50 K = 2, N
      S = A(K,K-1) / A(K-1,K-1)
      A(K,K) = A(K,K) - S * A(K-1,K)
      B(K) = B(K) -
     $       S * B(K-1)
   50 CONTINUE
      X(N) = B(N) / A(N,N)
      DO 60 K = N-1, 1, -1
      X(K) = (B(K) - A(K,K+1) * X(K+1))
     &       / A(K,K)
   60 CONTINUE
      KASE = 2
      GO TO (100, 200, 300), KASE
  100 WRITE (6, 900)
      GO TO 400
  200 WRITE (6, 910)
      DO 250 I = 1, N
      IF (X(I) - 1.0D0) 210, 220, 230
  210 WRITE (6, 920) I, X(I),
     1                 A(I,I)
      GO TO 250
  220 WRITE (6, 930) I
      GO TO 250
  230 WRITE (6, 940) I, X(I)
  250 CONTINUE
      GO TO 400
  300 STOP
  400 CONTINUE
  900 FORMAT (12HTOTAL ENERGY)
  910 FORMAT (1X, 40H  I      X(I)         DIAGONAL        ,
     +        5HNOTE )
  920 FORMAT (1X, I3, 2F14.6)
  930 FORMAT (1X, I3, 10H  EXACTLY , 5Hab  c)
  940 FORMAT (1X, I3, F14.6, 3X, 'BELOW    ONE')
      END
