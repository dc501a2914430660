PROGRAM OLD
      DO 100 I=1,10
      DO 100 J=1,10
        A(I,J)=0
100   CONTINUE
      DO 0010, K = 1, 5
	IF (K .EQ. 2) THEN
	  PRINT *, K
	ELSEIF (K .EQ. 3) THEN
	  GOTO 20
	ENDIF
0010  CONTINUE
20    STOP
      END
