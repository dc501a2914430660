! 热传导的一维显式差分
program heat
implicit none
integer, parameter :: n = 11
real :: u(n), v(n)
integer :: step, i
! 初始温度：中间一点为 100 度
u = 0.0
u(6) = 100.0
do step = 1, 50
do i = 2, n - 1
! 新值取左右两点的平均
v(i) = 0.5 * (u(i-1) + u(i+1))
end do
u(2:n-1) = v(2:n-1)
end do
print *, '温度分布：', u
end program heat
